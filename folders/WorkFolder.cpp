#include "WorkFolder.h"

#include "FileSystem.h"
#include "MbText.h"
#include "ProgramPath.h"

#include <cstring>

namespace {

bool IniPath(const char* fileName, char* out)
{
    char name[kPathBufferSize];
    CopyText(name, sizeof name, fileName);
    char* dot = FindLastChar(name, '.');
    const char* ext = "";
    if (dot) {
        *dot = '\0';
        ext = dot + 1;
    }
    return ProgramFolderFile(name, ext, out, kPathBufferSize) != 0;
}

}  // namespace

bool GetProgramIniString(const char* fileName, const char* section, const char* key, char* buffer, DWORD* length,
                         DWORD bufferSize)
{
    char path[kPathBufferSize];
    if (!IniPath(fileName, path) || GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
        return false;
    DWORD n = GetPrivateProfileStringA(section, key, "", buffer, bufferSize, path);
    if (length)
        *length = n;
    return true;
}

bool WriteProgramIniString(const char* fileName, const char* section, const char* key, const char* value)
{
    char path[kPathBufferSize];
    if (!IniPath(fileName, path))
        return false;
    BOOL ok = WritePrivateProfileStringA(section, key, value, path);
    // Why the write failed, taken before the flush that follows may set another error.
    DWORD error = ok ? 0 : GetLastError();
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path);
    if (!ok)
        SetLastError(error);
    return ok != FALSE;
}

void GetWorkFolder(char* buffer, size_t size)
{
    std::memset(buffer, 0, size);
    // Read with room to spare, so that a stored path of 259 bytes, which the dialog
    // accepts, is told from one that was longer and got cut: a folder is never created
    // or shown from a cut path.
    char stored[kPathBufferSize + 2] = "";
    DWORD length = 0;
    if (GetProgramIniString("Dbaccess.ini", "Path", "WorkPath", stored, &length, sizeof stored)) {
        if (length >= kPathBufferSize)
            stored[0] = '\0';
        CopyText(buffer, size, stored);
    }
    if (buffer[0] == '\0') {
        char program[kPathBufferSize];
        PathParts parts;
        if (GetProgramFileName(program, sizeof program)) {
            SplitPath(program, &parts);
            char folder[kPathBufferSize];
            if (MakePath(folder, sizeof folder, parts.drive, parts.dir, "kamiwork", ""))
                CopyText(buffer, size, folder);
        }
    }
    // Trailing backslashes go, as whole characters: 表 and ソ end in the same byte.
    for (;;) {
        size_t len = std::strlen(buffer);
        if (len == 0 || FindLastChar(buffer, '\\') != buffer + len - 1)
            break;
        buffer[len - 1] = '\0';
    }
    if (buffer[0] && GetFileAttributesA(buffer) == INVALID_FILE_ATTRIBUTES)
        CreateDirectoryTree(buffer);
}

WorkFolderSave SaveWorkFolder(const char* path, const CreateQuestion& mayCreate)
{
    WorkFolderSave outcome = {WorkFolderSave::Saved, 0, 0, std::string()};
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) {
        if (!mayCreate())
            return {WorkFolderSave::Declined, 0, 0, std::string()};
        // The path is stored all the same, but the user learns that the folder is not
        // there and why.
        if (!CreateDirectoryTree(path))
            outcome.notMade = LastErrorOr(ERROR_CANNOT_MAKE);
    }
    char value[kPathBufferSize];
    CopyText(value, sizeof value, path);
    // A settings file that another program holds, that is read-only, or a program folder
    // the user may not write to: the setting is not saved.
    if (!WriteProgramIniString("Dbaccess.ini", "Path", "WorkPath", value)) {
        outcome.kind = WorkFolderSave::NotSaved;
        outcome.code = LastErrorOr(ERROR_WRITE_FAULT);
        char ini[kPathBufferSize] = "Dbaccess.ini";
        IniPath("Dbaccess.ini", ini);
        outcome.iniPath = ini;
    }
    return outcome;
}
