#include "FileSystem.h"

#include "BufferSize.h"
#include "MbText.h"
#include "Messages.h"
#include "WideText.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

namespace {

// Windows refuses CreateDirectoryA for a folder path of 248 characters or more (room is
// kept for an 8.3 name below it), although files in such a folder fit in 260; Wine does
// not refuse it. Such a folder is made through its full wide path with the \\?\ prefix,
// which has no such limit (and resolves no "." or "..": the full path has none). A
// character is never more than its bytes, so counting bytes keeps to the rule.
const size_t kShortFolderPathLimit = MAX_PATH - 12;

static_assert(code::kThroughAFile == ERROR_DIRECTORY, "267");

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

// A junction, a folder or file symbolic link, or a mount point leads to another place:
// those tags are name surrogates. A reparse point of another kind (a cloud file's
// placeholder) is the folder or file itself. Where the tag is not told (0), the entry is
// taken for a link: it is never entered.
bool IsLink(const WIN32_FIND_DATAW& entry)
{
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           (entry.dwReserved0 == 0 || IsReparseTagNameSurrogate(entry.dwReserved0));
}

// Where emptying a folder of the user's and removing a folder of the tool's own differ
// (the entry the emptying spares, the new backup, is the walk's argument). Either way a
// link goes as a link.
struct TreeRules {
    bool spareDotNames;       // the user's: names beginning with a dot are passed over
    bool spareBackups;        // the user's: every BOOK backup (a .mdf file), at any depth,
                              // stays with the folders that lead to it: it may be another
                              // BOOK's only copy, or one the user put aside
    bool stopAtFirstFailure;  // the user's: what comes after an entry that cannot go stays
    bool clearReadOnly;       // ours: a read-only entry is what a server or a copy left;
                              // the user's: it stays as the user set it
};
const TreeRules kUsersFolder = {true, true, true, false};
const TreeRules kOwnFolder = {false, false, false, true};

// A BOOK backup's name: "<BookName>.mdf", the extension in any letter case.
bool IsBackupName(const wchar_t* name)
{
    const size_t length = wcslen(name);
    return length > 4 && CompareStringOrdinal(name + length - 4, -1, L".mdf", -1, TRUE) == CSTR_EQUAL;
}

DWORD ErrorOr(DWORD fallback)
{
    DWORD error = GetLastError();
    return error ? error : fallback;
}

DWORD EmptyTree(const std::wstring& folder, const TreeRules& rules, const wchar_t* spare, bool* kept);

// Removes one entry the search found at path; 0, or the system's error. *kept is set
// where the entry stays by the rules (a folder holding a backup that is spared).
DWORD RemoveEntry(const std::wstring& path, const WIN32_FIND_DATAW& entry, const TreeRules& rules, bool* kept)
{
    const DWORD attributes = entry.dwFileAttributes;
    if (rules.clearReadOnly) {
        // Asked afresh: what the search saw may have changed since.
        DWORD now = GetFileAttributesW(path.c_str());
        if (now != INVALID_FILE_ATTRIBUTES && (now & FILE_ATTRIBUTE_READONLY))
            SetFileAttributesW(path.c_str(), now & ~FILE_ATTRIBUTE_READONLY);
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return DeleteFileW(path.c_str()) ? 0 : ErrorOr(ERROR_ACCESS_DENIED);
    if (IsLink(entry))  // a link goes as a link: never what it leads to
        return RemoveDirectoryW(path.c_str()) ? 0 : ErrorOr(ERROR_ACCESS_DENIED);
    bool keptInside = false;
    DWORD inner = EmptyTree(path, rules, nullptr, &keptInside);
    if (keptInside) {
        *kept = true;
        return inner;
    }
    if (RemoveDirectoryW(path.c_str()))
        return 0;
    // Why the folder could not go is what inside it could not.
    return inner ? inner : ErrorOr(ERROR_DIR_NOT_EMPTY);
}

// Removes what is inside folder (a \\?\ path, so that every name is taken as written,
// trailing dots and blanks and device names included) but the entry named spare directly
// in it; 0 when all went, or the system's error for the first entry that did not (or for
// a folder that is there but cannot be searched, or whose listing broke off). *kept is
// set where something stays by the rules.
DWORD EmptyTree(const std::wstring& folder, const TreeRules& rules, const wchar_t* spare, bool* kept)
{
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : ErrorOr(ERROR_ACCESS_DENIED);
    }
    DWORD failure = 0;
    do {
        const wchar_t* name = entry.cFileName;
        if (!wcscmp(name, L".") || !wcscmp(name, L".."))
            continue;
        if ((rules.spareDotNames && name[0] == L'.') ||
            (spare && CompareStringOrdinal(name, -1, spare, -1, TRUE) == CSTR_EQUAL))
            continue;
        if (rules.spareBackups && !(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsBackupName(name)) {
            *kept = true;
            continue;
        }
        DWORD error = RemoveEntry(folder + L"\\" + name, entry, rules, kept);
        if (error && !failure)
            failure = error;
        if (error && rules.stopAtFirstFailure) {
            FindClose(search);
            return failure;
        }
    } while (FindNextFileW(search, &entry));
    // A listing that ends for another reason than its end (a network share that drops)
    // has not shown everything: the folder is not emptied.
    DWORD ended = GetLastError();
    FindClose(search);
    if (!failure && ended != ERROR_NO_MORE_FILES)
        failure = ended ? ended : ERROR_ACCESS_DENIED;
    return failure;
}

// The \\?\ form of a folder the tool holds, without a closing backslash.
std::wstring ExtendedFolder(const char* folder)
{
    std::wstring extended = ExtendedPath(folder);
    while (extended.size() > 7 && extended.back() == L'\\')
        extended.pop_back();
    return extended;
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
        SetLastError(code::kThroughAFile);
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

PathKind KindOf(const char* path)
{
    std::wstring extended = ExtendedFolder(path);
    WIN32_FIND_DATAW entry;
    // The search names the entry itself, with its reparse tag, and follows no link.
    HANDLE search = extended.empty() ? INVALID_HANDLE_VALUE : FindFirstFileW(extended.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        // A drive root is no entry of a folder: asked for its attributes instead (with
        // its backslash; anything else without one, which would follow a link).
        if (!extended.empty() && extended.back() == L':')
            extended += L'\\';
        DWORD attributes = extended.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(extended.c_str());
        // No tag to tell by here: a reparse point is taken for a link, as one of
        // unknown tag is.
        return attributes == INVALID_FILE_ATTRIBUTES           ? PathKind::Missing
               : (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? PathKind::Link
               : (attributes & FILE_ATTRIBUTE_DIRECTORY)     ? PathKind::Folder
                                                              : PathKind::File;
    }
    FindClose(search);
    if (IsLink(entry))
        return PathKind::Link;
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Folder : PathKind::File;
}

bool RemoveFolderTree(const char* folder)
{
    std::wstring extended = ExtendedFolder(folder);
    if (extended.empty())
        return false;
    // Windows removes no read-only folder; inside, the walk clears the attribute too.
    DWORD attributes = GetFileAttributesW(extended.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(extended.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    bool kept = false;
    EmptyTree(extended, kOwnFolder, nullptr, &kept);
    return RemoveDirectoryW(extended.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND ||
           GetLastError() == ERROR_PATH_NOT_FOUND;
}

bool DeleteFolderContents(const char* folder, const char* spare)
{
    std::wstring extended = ExtendedFolder(folder);
    std::wstring spared;
    if (extended.empty() || (spare && !Widen(spare, &spared))) {
        SetLastError(ERROR_BAD_PATHNAME);
        return false;
    }
    bool kept = false;
    DWORD error = EmptyTree(extended, kUsersFolder, spare ? spared.c_str() : nullptr, &kept);
    // The caller reads why from GetLastError: closing the search must not change it.
    SetLastError(error);
    return error == 0;
}

bool HoldsOnlyFilesNamed(const char* folder, const std::vector<std::string>& names)
{
    std::wstring extended = ExtendedFolder(folder);
    WIN32_FIND_DATAW entry;
    HANDLE search = extended.empty() ? INVALID_HANDLE_VALUE : FindFirstFileW((extended + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    bool only = true;
    do {
        const wchar_t* name = entry.cFileName;
        if (!wcscmp(name, L".") || !wcscmp(name, L".."))
            continue;
        bool named = false;
        for (const std::string& own : names)
            named |= CompareStringOrdinal(name, -1, Widen(own.c_str()).c_str(), -1, TRUE) == CSTR_EQUAL;
        only = named && !(entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
    } while (only && FindNextFileW(search, &entry));
    // A listing broken off has not shown what else is there.
    if (only && GetLastError() != ERROR_NO_MORE_FILES)
        only = false;
    FindClose(search);
    return only;
}

bool MovePath(const char* from, const char* to, unsigned long flags)
{
    std::wstring source = ExtendedPath(from), target = ExtendedPath(to);
    if (source.empty() || target.empty()) {
        SetLastError(ERROR_BAD_PATHNAME);
        return false;
    }
    return MoveFileExW(source.c_str(), target.c_str(), flags) != FALSE;
}
