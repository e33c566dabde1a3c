// Where Wine is more lenient than Windows, the test programs see Windows: at start-up the
// entries of this program's import table for the calls below are pointed at functions
// that refuse what Windows refuses and otherwise call the real one. The tool's code is
// linked into each test program unchanged, so it meets these rules wherever it is tested.
// One row per rule; a rule found wrong for Windows is one row to change.
#include "WindowsRules.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <set>
#include <string>

namespace testsupport {
namespace {

using CreateDirectoryAFn = BOOL(WINAPI*)(LPCSTR, LPSECURITY_ATTRIBUTES);
using CreateDirectoryWFn = BOOL(WINAPI*)(LPCWSTR, LPSECURITY_ATTRIBUTES);
using GetDriveTypeAFn = UINT(WINAPI*)(LPCSTR);
using MoveFileExWFn = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);
using RemoveDirectoryAFn = BOOL(WINAPI*)(LPCSTR);
using RemoveDirectoryWFn = BOOL(WINAPI*)(LPCWSTR);
using GetFileAttributesWFn = DWORD(WINAPI*)(LPCWSTR);
using SetFileAttributesWFn = BOOL(WINAPI*)(LPCWSTR, DWORD);

CreateDirectoryAFn g_createDirectoryA = CreateDirectoryA;
CreateDirectoryWFn g_createDirectoryW = CreateDirectoryW;
GetDriveTypeAFn g_getDriveTypeA = GetDriveTypeA;
MoveFileExWFn g_moveFileExW = MoveFileExW;
RemoveDirectoryAFn g_removeDirectoryA = RemoveDirectoryA;
RemoveDirectoryWFn g_removeDirectoryW = RemoveDirectoryW;
GetFileAttributesWFn g_getFileAttributesW = GetFileAttributesW;
SetFileAttributesWFn g_setFileAttributesW = SetFileAttributesW;

BOOL Refuse(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

std::wstring Wide(LPCSTR text)
{
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(n > 0 ? n : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], n);
    wide.resize(std::wcslen(wide.c_str()));
    return wide;
}

// A folder path counts by its full path, as the system resolves it: 248 characters or
// more (room for an 8.3 name below it within MAX_PATH) is refused without the \\?\ form.
bool FolderPathTooLong(const std::wstring& path)
{
    if (path.compare(0, 4, L"\\\\?\\") == 0)
        return false;
    wchar_t full[32768];
    DWORD n = GetFullPathNameW(path.c_str(), 32768, full, nullptr);
    return n >= MAX_PATH - 12;
}

// CreateDirectoryA/W: "For the ANSI version of this function, there is a default string
// size limit for paths of 248 characters (MAX_PATH - enough room for a 8.3 filename)";
// the \\?\ prefix (wide version) lifts it. Windows answers ERROR_FILENAME_EXCED_RANGE.
BOOL WINAPI RuleCreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES security)
{
    if (path && FolderPathTooLong(Wide(path)))
        return Refuse(ERROR_FILENAME_EXCED_RANGE);
    return g_createDirectoryA(path, security);
}
BOOL WINAPI RuleCreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES security)
{
    if (path && FolderPathTooLong(path))
        return Refuse(ERROR_FILENAME_EXCED_RANGE);
    return g_createDirectoryW(path, security);
}

// GetDriveTypeA: "lpRootPathName: the root directory for the drive. A trailing backslash
// is required"; for anything that is no root Windows answers DRIVE_NO_ROOT_DIR, where
// Wine answers for the drive the folder lies on. A root: no text (the current drive),
// "X:", or a text whose full path is "X:\" or "\\server\share\".
UINT WINAPI RuleGetDriveTypeA(LPCSTR path)
{
    if (path && !(std::strlen(path) == 2 && path[1] == ':')) {
        char full[MAX_PATH];
        DWORD n = GetFullPathNameA(path, sizeof full, full, nullptr);
        bool root = n == 3 && full[1] == ':' && full[2] == '\\';
        if (n > 2 && full[0] == '\\' && full[1] == '\\' && full[n - 1] == '\\') {
            const char* server = std::strchr(full + 2, '\\');
            const char* share = server ? std::strchr(server + 1, '\\') : nullptr;
            root = share == full + n - 1;
        }
        if (!root)
            return DRIVE_NO_ROOT_DIR;
    }
    return g_getDriveTypeA(path);
}

// MoveFileExW with MOVEFILE_REPLACE_EXISTING: "If the destination is an existing file
// ... with the FILE_ATTRIBUTE_READONLY attribute, the function fails" with
// ERROR_ACCESS_DENIED; Wine replaces it.
BOOL WINAPI RuleMoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags)
{
    if (to && (flags & MOVEFILE_REPLACE_EXISTING)) {
        DWORD attributes = GetFileAttributesW(to);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
            !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return Refuse(ERROR_ACCESS_DENIED);
    }
    return g_moveFileExW(from, to, flags);
}

// SetFileAttributesW/GetFileAttributesW: Windows keeps the read-only attribute of a
// folder (Explorer shows it as a customised folder; RemoveDirectory then refuses it);
// Wine keeps none. The folders given it are remembered, by full path in any letter case.
std::set<std::wstring> g_readOnlyFolders;
std::wstring FolderKey(LPCWSTR path)
{
    std::wstring text = path;
    if (text.compare(0, 4, L"\\\\?\\") == 0)
        text = text.substr(4);
    wchar_t full[MAX_PATH];
    DWORD n = GetFullPathNameW(text.c_str(), MAX_PATH, full, nullptr);
    std::wstring key = n > 0 && n < MAX_PATH ? full : text;
    while (key.size() > 3 && key.back() == L'\\')
        key.pop_back();
    CharLowerW(&key[0]);
    return key;
}
std::set<std::wstring> g_placeholders;
DWORD WINAPI RuleGetFileAttributesW(LPCWSTR path)
{
    DWORD attributes = g_getFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
        g_readOnlyFolders.count(FolderKey(path)))
        attributes |= FILE_ATTRIBUTE_READONLY;
    if (attributes != INVALID_FILE_ATTRIBUTES && g_placeholders.count(FolderKey(path)))
        attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return attributes;
}
BOOL WINAPI RuleSetFileAttributesW(LPCWSTR path, DWORD attributes)
{
    if (!g_setFileAttributesW(path, attributes))
        return FALSE;
    DWORD now = g_getFileAttributesW(path);
    if (now != INVALID_FILE_ATTRIBUTES && (now & FILE_ATTRIBUTE_DIRECTORY)) {
        if (attributes & FILE_ATTRIBUTE_READONLY)
            g_readOnlyFolders.insert(FolderKey(path));
        else
            g_readOnlyFolders.erase(FolderKey(path));
    }
    return TRUE;
}

// RemoveDirectoryA/W of a folder with the read-only attribute: Windows refuses with
// ERROR_ACCESS_DENIED (the attribute must be cleared first); Wine removes it.
BOOL WINAPI RuleRemoveDirectoryA(LPCSTR path)
{
    DWORD attributes = path ? GetFileAttributesA(path) : INVALID_FILE_ATTRIBUTES;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return Refuse(ERROR_ACCESS_DENIED);
    return g_removeDirectoryA(path);
}
BOOL WINAPI RuleRemoveDirectoryW(LPCWSTR path)
{
    DWORD attributes = path ? GetFileAttributesW(path) : INVALID_FILE_ATTRIBUTES;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return Refuse(ERROR_ACCESS_DENIED);
    return g_removeDirectoryW(path);
}

// What a user's PC gives that Wine cannot make: a folder the user may not list (its
// listing refused with access denied, as its ACL has it), a network folder whose
// listing breaks off (FindNextFileW failing midway), a cloud file's placeholder folder
// (a reparse point of tag IO_REPARSE_TAG_CLOUD_6, which is the folder itself). Set by
// the tests, by full path in any letter case.
#ifndef IO_REPARSE_TAG_CLOUD_6
#define IO_REPARSE_TAG_CLOUD_6 0x9000601AL
#endif
using FindFirstFileWFn = HANDLE(WINAPI*)(LPCWSTR, LPWIN32_FIND_DATAW);
using FindNextFileWFn = BOOL(WINAPI*)(HANDLE, LPWIN32_FIND_DATAW);
FindFirstFileWFn g_findFirstFileW = FindFirstFileW;
FindNextFileWFn g_findNextFileW = FindNextFileW;
std::set<std::wstring> g_unlisted, g_breaking;
std::set<HANDLE> g_breakingSearches;

HANDLE WINAPI RuleFindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data)
{
    const std::wstring text = pattern ? pattern : L"";
    const bool listing = text.size() > 2 && text.compare(text.size() - 2, 2, L"\\*") == 0;
    // The folder listed; finding an entry by its name lists its folder too.
    std::wstring folder = FolderKey(listing ? text.substr(0, text.size() - 2).c_str() : pattern);
    if (!listing)
        folder = folder.substr(0, folder.find_last_of(L'\\'));
    if (g_unlisted.count(folder)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE search = g_findFirstFileW(pattern, data);
    if (search == INVALID_HANDLE_VALUE)
        return search;
    if (listing && g_breaking.count(folder))
        g_breakingSearches.insert(search);
    std::wstring entry = listing ? folder + L"\\" + data->cFileName : FolderKey(pattern);
    CharLowerW(&entry[0]);
    if (g_placeholders.count(entry)) {
        data->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        data->dwReserved0 = IO_REPARSE_TAG_CLOUD_6;
    }
    return search;
}
BOOL WINAPI RuleFindNextFileW(HANDLE search, LPWIN32_FIND_DATAW data)
{
    // The listing breaks off after its first entries, as a share that drops does.
    if (g_breakingSearches.erase(search))
        return Refuse(ERROR_NETNAME_DELETED);
    return g_findNextFileW(search, data);
}

const ImportPatch kRules[] = {
    {"FindFirstFileW", reinterpret_cast<void*>(RuleFindFirstFileW), reinterpret_cast<void**>(&g_findFirstFileW)},
    {"FindNextFileW", reinterpret_cast<void*>(RuleFindNextFileW), reinterpret_cast<void**>(&g_findNextFileW)},
    {"CreateDirectoryA", reinterpret_cast<void*>(RuleCreateDirectoryA), reinterpret_cast<void**>(&g_createDirectoryA)},
    {"CreateDirectoryW", reinterpret_cast<void*>(RuleCreateDirectoryW), reinterpret_cast<void**>(&g_createDirectoryW)},
    {"GetDriveTypeA", reinterpret_cast<void*>(RuleGetDriveTypeA), reinterpret_cast<void**>(&g_getDriveTypeA)},
    {"MoveFileExW", reinterpret_cast<void*>(RuleMoveFileExW), reinterpret_cast<void**>(&g_moveFileExW)},
    {"RemoveDirectoryA", reinterpret_cast<void*>(RuleRemoveDirectoryA), reinterpret_cast<void**>(&g_removeDirectoryA)},
    {"RemoveDirectoryW", reinterpret_cast<void*>(RuleRemoveDirectoryW), reinterpret_cast<void**>(&g_removeDirectoryW)},
    {"GetFileAttributesW", reinterpret_cast<void*>(RuleGetFileAttributesW), reinterpret_cast<void**>(&g_getFileAttributesW)},
    {"SetFileAttributesW", reinterpret_cast<void*>(RuleSetFileAttributesW), reinterpret_cast<void**>(&g_setFileAttributesW)},
};

}  // namespace

int PatchImports(const char* dll, const ImportPatch* patches, size_t count)
{
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress)
        return 0;
    int patched = 0;
    for (auto* desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); desc->Name; ++desc) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + desc->Name), dll) != 0 || !desc->OriginalFirstThunk)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const char* name = reinterpret_cast<const char*>(
                reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name);
            for (const ImportPatch* patch = patches; patch < patches + count; ++patch) {
                if (std::strcmp(name, patch->function) != 0)
                    continue;
                *patch->original = reinterpret_cast<void*>(slots->u1.Function);
                DWORD old;
                VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old);
                slots->u1.Function = reinterpret_cast<ULONG_PTR>(patch->replacement);
                VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
                ++patched;
            }
        }
    }
    return patched;
}

void PretendFolder(const std::string& folder, FolderPretence pretence, bool on)
{
    std::set<std::wstring>& set = pretence == FolderPretence::Unlisted   ? g_unlisted
                                  : pretence == FolderPretence::Breaking ? g_breaking
                                                                         : g_placeholders;
    const std::wstring key = FolderKey(Wide(folder.c_str()).c_str());
    if (on)
        set.insert(key);
    else
        set.erase(key);
}

int InstallWindowsRules() { return PatchImports("kernel32.dll", kRules, sizeof kRules / sizeof kRules[0]); }

}  // namespace testsupport
