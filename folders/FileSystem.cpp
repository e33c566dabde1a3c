#include "FileSystem.h"

#include "BufferSize.h"
#include "MbText.h"

#include <windows.h>
#include <mbstring.h>

#include <cstring>

namespace {

// Windows refuses CreateDirectoryA for a folder path of 248 characters or more (room is
// kept for an 8.3 name below it), although files in such a folder fit in 260; Wine does
// not refuse it. Such a folder is made through its full wide path with the \\?\ prefix,
// which has no such limit (and resolves no "." or "..": the full path has none). A
// character is never more than its bytes, so counting bytes keeps to the rule.
const size_t kShortFolderPathLimit = MAX_PATH - 12;

BOOL CreateFolder(const char* text)
{
    // The limit is on the path as the system resolves it: a relative text from a deep
    // current folder can be short and still too long.
    char full[kPathBufferSize];
    DWORD n = GetFullPathNameA(text, sizeof full, full, nullptr);
    if (std::strlen(text) < kShortFolderPathLimit && n != 0 && n < kShortFolderPathLimit)
        return CreateDirectoryA(text, nullptr);
    std::wstring extended = ExtendedPath(text);
    return !extended.empty() && CreateDirectoryW(extended.c_str(), nullptr);
}

bool RemoveTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = folder + L"\\" + name;
            // A read-only entry is what a server or a copy left, not the user's choice:
            // everything in the folder goes with it.
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
                SetFileAttributesW(path.c_str(), entry.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileW(path.c_str());
            else if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                RemoveDirectoryW(path.c_str());  // a link: never what it leads to
            else
                RemoveTree(path);
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    return RemoveDirectoryW(folder.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND ||
           GetLastError() == ERROR_PATH_NOT_FOUND;
}

// Makes sure the folder named by text exists as a folder, creating it if nothing is
// there (and noting it in *created).
bool EnsureFolder(const char* text, std::vector<std::string>* created)
{
    DWORD attributes = GetFileAttributesA(text);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (!CreateFolder(text))
            return false;
        if (created)
            created->push_back(text);
        return true;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetLastError(ERROR_DIRECTORY);
        return false;
    }
    return true;
}

}  // namespace

long LastErrorOr(unsigned long fallback)
{
    DWORD error = GetLastError();
    return static_cast<long>(error ? error : fallback);
}

std::wstring ExtendedPath(const char* text)
{
    wchar_t wide[kPathBufferSize], full[kPathBufferSize];
    if (!MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, wide, kPathBufferSize))
        return std::wstring();
    DWORD n = GetFullPathNameW(wide, kPathBufferSize, full, nullptr);
    if (n == 0 || n >= kPathBufferSize) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return std::wstring();
    }
    // Already in the \\?\ or device form: nothing to add.
    if (full[0] == L'\\' && full[1] == L'\\' && (full[2] == L'?' || full[2] == L'.') && full[3] == L'\\')
        return full;
    return full[0] == L'\\' && full[1] == L'\\' ? std::wstring(L"\\\\?\\UNC\\") + (full + 2)
                                              : std::wstring(L"\\\\?\\") + full;
}

bool CreateDirectoryTree(const char* path, std::vector<std::string>* created)
{
    size_t length = std::strlen(path);
    if (length >= kPathBufferSize) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    char text[kPathBufferSize];
    std::memcpy(text, path, length + 1);

    size_t start;
    if (text[0] == '\\' && text[1] == '\\') {
        // \\server\share\...: the first folder examined is \\server\share.
        const char* afterServer = FindChar(text + 2, '\\');
        if (!afterServer) {
            SetLastError(ERROR_BAD_PATHNAME);
            return false;
        }
        start = static_cast<size_t>(afterServer - text) + 1;
    } else if (text[0] == '\\') {
        start = 1;
    } else if (text[0] && text[1] == ':' && !IsLeadByte(static_cast<unsigned char>(text[0]))) {
        if (length < 4) {
            SetLastError(ERROR_BAD_PATHNAME);
            return false;  // a drive alone
        }
        start = 3;
    } else {
        start = 0;
    }

    for (size_t i = start; i < length; i += CharLength(text + i)) {
        if (text[i] != '\\' || i == length - 1)
            continue;
        text[i] = '\0';
        bool ok = EnsureFolder(text, created);
        text[i] = '\\';
        if (!ok)
            return false;
    }
    bool trailing = length > 0 && FindLastChar(text, '\\') == text + length - 1;
    if (trailing)
        text[length - 1] = '\0';
    return EnsureFolder(text, created);
}

bool CreateNewFolder(const char* path)
{
    if (std::strlen(path) >= kPathBufferSize) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    return CreateFolder(path) != FALSE;
}

bool RemoveFolderTree(const char* folder)
{
    std::wstring extended = ExtendedPath(folder);
    while (extended.size() > 7 && extended.back() == L'\\')
        extended.pop_back();
    if (extended.empty())
        return false;
    // Windows removes no read-only folder; inside, RemoveTree clears the attribute too.
    DWORD attributes = GetFileAttributesW(extended.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(extended.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    return RemoveTree(extended);
}

bool DeleteFolderContents(const char* folder, const char* spare)
{
    std::string pattern = std::string(folder) + "\\*.*";
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return true;
    do {
        if (entry.cFileName[0] == '.' ||
            (spare && _mbsicmp(reinterpret_cast<const unsigned char*>(entry.cFileName),
                               reinterpret_cast<const unsigned char*>(spare)) == 0))
            continue;
        std::string full = std::string(folder) + "\\" + entry.cFileName;
        BOOL removed;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            // A junction or symbolic link: remove the link, never what it points to.
            removed = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryA(full.c_str())
                                                                          : DeleteFileA(full.c_str());
        } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            DeleteFolderContents(full.c_str(), nullptr);
            removed = RemoveDirectoryA(full.c_str());
        } else {
            removed = DeleteFileA(full.c_str());
        }
        if (!removed) {
            // The caller reads why from GetLastError: closing the search must not change it.
            DWORD error = GetLastError();
            FindClose(search);
            SetLastError(error);
            return false;
        }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return true;
}
