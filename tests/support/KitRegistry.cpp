// The Windows test kit runs as a standard user, who may not write HKLM. Every call of
// this program (the tool's code and the tests') that names HKLM is pointed at
// HKCU\Software\OrvelTestKit\Machine instead, where the stand-in server reads its
// settings too. Only this program's own imports are patched: the system's DLLs in the
// process (COM, the shell) keep the real HKLM.
#include "Support.h"
#include "WindowsRules.h"

#include <gtest/gtest.h>

namespace testsupport {
namespace {

HKEY g_machine = nullptr;
HKEY Root(HKEY root) { return root == HKEY_LOCAL_MACHINE ? g_machine : root; }

decltype(&RegOpenKeyExA) g_openA;
decltype(&RegCreateKeyExA) g_createA;
decltype(&RegDeleteKeyA) g_deleteA;
decltype(&RegDeleteKeyW) g_deleteW;
decltype(&RegDeleteKeyExA) g_deleteExA;
decltype(&RegDeleteTreeA) g_treeA;
decltype(&RegDeleteTreeW) g_treeW;

LONG WINAPI OpenA(HKEY root, LPCSTR sub, DWORD options, REGSAM sam, PHKEY key)
{
    return g_openA(Root(root), sub, options, sam, key);
}
LONG WINAPI CreateA(HKEY root, LPCSTR sub, DWORD reserved, LPSTR cls, DWORD options, REGSAM sam,
                    LPSECURITY_ATTRIBUTES security, PHKEY key, LPDWORD disposition)
{
    return g_createA(Root(root), sub, reserved, cls, options, sam, security, key, disposition);
}
LONG WINAPI DeleteA(HKEY root, LPCSTR sub) { return g_deleteA(Root(root), sub); }
LONG WINAPI DeleteW(HKEY root, LPCWSTR sub) { return g_deleteW(Root(root), sub); }
LONG WINAPI DeleteExA(HKEY root, LPCSTR sub, REGSAM sam, DWORD reserved)
{
    return g_deleteExA(Root(root), sub, sam, reserved);
}
LONG WINAPI TreeA(HKEY root, LPCSTR sub) { return g_treeA(Root(root), sub); }
LONG WINAPI TreeW(HKEY root, LPCWSTR sub) { return g_treeW(Root(root), sub); }

template <typename F>
ImportPatch Patch(const char* name, F replacement, F* original)
{
    return {name, reinterpret_cast<void*>(replacement), reinterpret_cast<void**>(original)};
}

}  // namespace

void RedirectMachineKeysForTestKit()
{
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kKitMachineKey, 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &g_machine, nullptr));
    const ImportPatch patches[] = {
        Patch("RegOpenKeyExA", OpenA, &g_openA),       Patch("RegCreateKeyExA", CreateA, &g_createA),
        Patch("RegDeleteKeyA", DeleteA, &g_deleteA),   Patch("RegDeleteKeyW", DeleteW, &g_deleteW),
        Patch("RegDeleteKeyExA", DeleteExA, &g_deleteExA), Patch("RegDeleteTreeA", TreeA, &g_treeA),
        Patch("RegDeleteTreeW", TreeW, &g_treeW),
    };
    PatchImports("advapi32.dll", patches, sizeof patches / sizeof patches[0]);
}

}  // namespace testsupport
