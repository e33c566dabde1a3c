// What the test programs and the kit's runner both ask of the system they run on; no
// GoogleTest here, so that the runner shares it.
#pragma once
#include <windows.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

namespace testsupport {

// The kit's own keys under HKCU; below it, Machine stands for HKLM (the stand-in server
// reads its settings there while the key exists).
const char kKitKey[] = "Software\\OrvelTestKit";
const char kKitMachineKey[] = "Software\\OrvelTestKit\\Machine";

// Under Wine (ntdll's wine_get_version): what only Wine needs is done only there.
inline bool UnderWine() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }

// An elevated process (UAC's full token): COM then ignores per-user classes, so the
// stand-in is registered for the machine.
inline bool Elevated()
{
    HANDLE token = nullptr;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    bool elevated = OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
                    GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
                    elevation.TokenIsElevated;
    if (token)
        CloseHandle(token);
    return elevated;
}

// Where the kit's programs make the folders the folder rules must accept (the kit lies
// under the profile, which they refuse): the system drive's root, where a standard user
// may create folders. The runner takes it away.
inline std::string KitFoldersRoot()
{
    char drive[MAX_PATH];
    if (!GetEnvironmentVariableA("SystemDrive", drive, sizeof drive))
        lstrcpyA(drive, "C:");
    return std::string(drive) + "\\OrvelTestKit";
}

// path's full form as the system resolves it (the current folder, "." and ".."); path
// itself where it has none.
inline std::string FullPath(const std::string& path)
{
    char full[MAX_PATH];
    DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return n && n < sizeof full ? std::string(full) : path;
}

// The stand-in server processes running (DatabaseServer.exe, wherever it lies), by id.
inline std::vector<DWORD> ServerProcessIds()
{
    std::vector<DWORD> ids;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Process32FirstW(snap, &entry); ok; ok = Process32NextW(snap, &entry))
        if (lstrcmpiW(entry.szExeFile, L"DatabaseServer.exe") == 0)
            ids.push_back(entry.th32ProcessID);
    CloseHandle(snap);
    return ids;
}
inline int ServerProcesses() { return static_cast<int>(ServerProcessIds().size()); }

namespace detail {
inline void RemoveEntryWide(const std::wstring& path, DWORD attributes)
{
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(path.c_str());
        return;
    }
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {  // a link: never what it leads to
        WIN32_FIND_DATAW entry;
        HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &entry);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = entry.cFileName;
                if (name != L"." && name != L"..")
                    RemoveEntryWide(path + L"\\" + name, entry.dwFileAttributes);
            } while (FindNextFileW(search, &entry));
            FindClose(search);
        }
    }
    RemoveDirectoryW(path.c_str());
}
}  // namespace detail

// Removes a file, or a folder with everything in it, as a failed run may have left it:
// read-only entries, names near the path limit or ending in half a double-byte
// character (wide names through the \\?\ form of the full path). A link inside is
// removed as a link. Nothing happens when nothing is there. The path in UTF-16 (full,
// without the \\?\ prefix), or in ANSI.
inline void RemoveTreeWide(std::wstring path)
{
    if (path.size() > 3 && path.back() == L'\\')
        path.pop_back();
    path = L"\\\\?\\" + path;
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        detail::RemoveEntryWide(path, attributes);
}
inline void RemoveTree(const std::string& path)
{
    char full[MAX_PATH];
    DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    if (n == 0 || n >= sizeof full)
        return;
    int length = MultiByteToWideChar(CP_ACP, 0, full, -1, nullptr, 0);
    std::wstring wide(length, L'\0');
    MultiByteToWideChar(CP_ACP, 0, full, -1, &wide[0], length);
    wide.resize(length - 1);
    RemoveTreeWide(wide);
}

}  // namespace testsupport
