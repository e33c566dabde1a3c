// The system's work folder: stored as WorkPath in section Path of Dbaccess.ini beside the
// program; by default the kamiwork folder in the program's folder.
#pragma once
#include <windows.h>

#include <cstddef>

// Reads key of section from the settings file fileName beside the program into buffer
// (260 bytes). False, buffer untouched, when the file does not exist. *length (if given)
// receives the number of bytes read; 259 means the value may have been cut.
bool GetProgramIniString(const char* fileName, const char* section, const char* key, char* buffer,
                         DWORD* length = nullptr);
// Writes key, then has the system write its cached copy of the file to disk.
bool WriteProgramIniString(const char* fileName, const char* section, const char* key, const char* value);

// The work folder into buffer (size bytes), its trailing backslashes removed; created
// when nothing exists under its name.
void GetWorkFolder(char* buffer, size_t size);
// Offers to create a missing folder, then stores path (unless the user declined). A
// folder that could not be made, or a setting that could not be written, is reported.
void SaveWorkFolder(const char* path);

