// The system's work folder: stored as WorkPath in section Path of Dbaccess.ini beside the
// program; by default the kamiwork folder in the program's folder.
#pragma once
#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>

// Reads key of section from the settings file fileName beside the program into buffer
// (bufferSize bytes). False, buffer untouched, when the file does not exist. *length (if
// given) receives the number of bytes read; bufferSize - 1 means the value may have been cut.
bool GetProgramIniString(const char* fileName, const char* section, const char* key, char* buffer,
                         DWORD* length = nullptr, DWORD bufferSize = 260);
// Writes key, then has the system write its cached copy of the file to disk. False when
// the write failed, GetLastError telling why.
bool WriteProgramIniString(const char* fileName, const char* section, const char* key, const char* value);

// The work folder into buffer (size bytes), its trailing backslashes removed; created
// when nothing exists under its name.
void GetWorkFolder(char* buffer, size_t size);
// What saving the work folder came to; the settings dialog shows it.
struct WorkFolderSave {
    enum Kind {
        Saved,     // stored (notMade: the system's code when the missing folder could not
                   // be made; the path is stored all the same)
        Declined,  // the user did not want the missing folder made: nothing stored
        NotSaved,  // code: the system's; the settings file is as it was
    };
    Kind kind;
    long code;
    long notMade;
    std::string iniPath;
};
// Asked when the folder does not exist: may it be made?
using CreateQuestion = std::function<bool()>;
// Makes a missing folder if the user agrees, then stores path.
WorkFolderSave SaveWorkFolder(const char* path, const CreateQuestion& mayCreate);

