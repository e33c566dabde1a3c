#include "WorkFolder.h"

#include "FolderTools.h"
#include "MbText.h"
#include "MessageBox.h"
#include "Messages.h"
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

bool GetProgramIniString(const char* fileName, const char* section, const char* key, char* buffer, DWORD* length)
{
    char path[kPathBufferSize];
    if (!IniPath(fileName, path) || GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
        return false;
    DWORD n = GetPrivateProfileStringA(section, key, "", buffer, kPathBufferSize, path);
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
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path);
    return ok != FALSE;
}

void GetWorkFolder(char* buffer, size_t size)
{
    std::memset(buffer, 0, size);
    char stored[kPathBufferSize] = "";
    DWORD length = 0;
    if (GetProgramIniString("Dbaccess.ini", "Path", "WorkPath", stored, &length)) {
        // A value that fills the whole buffer may have been cut: a folder is never
        // created or shown from a cut path.
        if (length >= kPathBufferSize - 1)
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

void SaveWorkFolder(const char* path)
{
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) {
        if (winui::AppMessageBox(msg::kCreateWorkFolder, MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
            return;
        // The path is stored all the same, but the user learns that the folder is not
        // there and why.
        if (!CreateDirectoryTree(path)) {
            long error = static_cast<long>(GetLastError() ? GetLastError() : ERROR_CANNOT_MAKE);
            winui::AppMessageBox(FormatText(msg::kWorkFolderNotMade, path, error).c_str(), MB_OK | MB_ICONSTOP);
        }
    }
    char value[kPathBufferSize];
    CopyText(value, sizeof value, path);
    // A settings file that another program holds, that is read-only, or a program folder
    // the user may not write to: the setting is not saved, and the dialog must not close
    // as if it were.
    if (!WriteProgramIniString("Dbaccess.ini", "Path", "WorkPath", value)) {
        long error = static_cast<long>(GetLastError() ? GetLastError() : ERROR_WRITE_FAULT);
        char ini[kPathBufferSize] = "Dbaccess.ini";
        IniPath("Dbaccess.ini", ini);
        winui::AppMessageBox(FormatText(msg::kWorkFolderNotSaved, ini, error).c_str(), MB_OK | MB_ICONSTOP);
    }
}
