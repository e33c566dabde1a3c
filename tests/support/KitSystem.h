// What the test programs and the kit's runner both ask of the system they run on; no
// GoogleTest here, so that the runner shares it.
#pragma once
#include <windows.h>

#include <string>

namespace testsupport {

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

}  // namespace testsupport
