#include "WorkFolder.h"

#include "MbText.h"
#include "MessageBox.h"
#include "Messages.h"
#include "ProgramPath.h"

#include <cstring>

namespace {

enum { kBuffer = 260 };

bool IniPath(const char* fileName, char* out)
{
    char name[kBuffer];
    CopyText(name, sizeof name, fileName);
    char* dot = FindLastChar(name, '.');
    const char* ext = "";
    if (dot) {
        *dot = '\0';
        ext = dot + 1;
    }
    return ProgramFolderFile(name, ext, out, kBuffer) != 0;
}

// Makes sure the folder named by text exists as a folder, creating it if nothing is there.
bool EnsureFolder(const char* text)
{
    DWORD attributes = GetFileAttributesA(text);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return CreateDirectoryA(text, nullptr) != FALSE;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

bool GetProgramIniString(const char* fileName, const char* section, const char* key, char* buffer, DWORD* length)
{
    char path[kBuffer];
    if (!IniPath(fileName, path) || GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
        return false;
    DWORD n = GetPrivateProfileStringA(section, key, "", buffer, kBuffer, path);
    if (length)
        *length = n;
    return true;
}

bool WriteProgramIniString(const char* fileName, const char* section, const char* key, const char* value)
{
    char path[kBuffer];
    if (!IniPath(fileName, path))
        return false;
    BOOL ok = WritePrivateProfileStringA(section, key, value, path);
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path);
    return ok != FALSE;
}

void GetWorkFolder(char* buffer, size_t size)
{
    std::memset(buffer, 0, size);
    char stored[kBuffer] = "";
    DWORD length = 0;
    if (GetProgramIniString("Dbaccess.ini", "Path", "WorkPath", stored, &length)) {
        // A value that fills the whole buffer may have been cut: a folder is never
        // created or shown from a cut path.
        if (length >= kBuffer - 1)
            stored[0] = '\0';
        CopyText(buffer, size, stored);
    }
    if (buffer[0] == '\0') {
        char program[kBuffer];
        PathParts parts;
        if (GetProgramFileName(program, sizeof program)) {
            SplitPath(program, &parts);
            char folder[kBuffer];
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
        CreateDirectoryTree(path);
    }
    char value[kBuffer];
    CopyText(value, sizeof value, path);
    WriteProgramIniString("Dbaccess.ini", "Path", "WorkPath", value);
}

bool CreateDirectoryTree(const char* path)
{
    size_t length = std::strlen(path);
    if (length >= kBuffer)
        return false;
    char text[kBuffer];
    std::memcpy(text, path, length + 1);

    size_t start;
    if (text[0] == '\\' && text[1] == '\\') {
        // \\server\share\...: the first folder examined is \\server\share.
        const char* afterServer = FindChar(text + 2, '\\');
        if (!afterServer)
            return false;
        start = static_cast<size_t>(afterServer - text) + 1;
    } else if (text[0] == '\\') {
        start = 1;
    } else if (text[0] && text[1] == ':' && !IsLeadByte(static_cast<unsigned char>(text[0]))) {
        if (length < 4)
            return false;  // a drive alone
        start = 3;
    } else {
        start = 0;
    }

    for (size_t i = start; i < length; i += CharLength(text + i)) {
        if (text[i] != '\\' || i == length - 1)
            continue;
        text[i] = '\0';
        bool ok = EnsureFolder(text);
        text[i] = '\\';
        if (!ok)
            return false;
    }
    bool trailing = length > 0 && FindLastChar(text, '\\') == text + length - 1;
    if (trailing)
        text[length - 1] = '\0';
    return EnsureFolder(text);
}
