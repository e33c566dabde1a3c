#include "ServerConfig.h"

namespace dbserver {

const wchar_t kConfigKey[] = L"SOFTWARE\\OrvelDatabaseServer";

namespace {
bool ReadValue(const wchar_t* name, DWORD* type, void* data, DWORD* size)
{
    HKEY key;
    // The 32-bit view, as the system's own settings: one place for them whichever
    // build of the server reads them.
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kConfigKey, 0, KEY_READ | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS)
        return false;
    LONG rc = RegQueryValueExW(key, name, nullptr, type, static_cast<BYTE*>(data), size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

bool ReadNumber(const wchar_t* name, DWORD* value)
{
    DWORD type = 0, size = sizeof *value;
    return ReadValue(name, &type, value, &size) && type == REG_DWORD;
}

std::wstring ReadText(const wchar_t* name)
{
    wchar_t buf[MAX_PATH + 1] = {};
    DWORD type = 0, size = sizeof buf - sizeof(wchar_t);
    if (!ReadValue(name, &type, buf, &size) || (type != REG_SZ && type != REG_EXPAND_SZ))
        return L"";
    return buf;
}
}  // namespace

std::wstring ModuleFolder()
{
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s(path, n < MAX_PATH ? n : 0);
    return s.substr(0, s.find_last_of(L'\\') + 1);
}

std::wstring DataFolder()
{
    std::wstring folder = ReadText(L"DataFolder");
    if (folder.empty())
        folder = ModuleFolder() + L"Data";
    if (folder.back() != L'\\')
        folder.push_back(L'\\');
    return folder;
}

bool FreeSpaceOverride(DWORD* megabytes)
{
    DWORD type = 0, size = sizeof *megabytes;
    return ReadValue(L"FreeSpaceMB", &type, megabytes, &size) && type == REG_DWORD;
}

bool FreeThreaded()
{
    return lstrcmpiW(ReadText(L"Apartment").c_str(), L"free") == 0;
}

bool InjectedFault(const wchar_t* operation, long row, LONG* code)
{
    if (lstrcmpiW(ReadText(L"FaultOperation").c_str(), operation) != 0)
        return false;
    DWORD value = 0;
    if (ReadNumber(L"FaultRow", &value) && static_cast<long>(value) != row)
        return false;
    if (ReadNumber(L"FaultDelayMs", &value))
        Sleep(value);
    if (ReadNumber(L"FaultCode", &value) && value != 0) {
        *code = static_cast<LONG>(value);
        return true;
    }
    return false;
}

DWORD ExitAfterBytes()
{
    DWORD value = 0;
    return ReadNumber(L"FaultExitAfterBytes", &value) ? value : 0;
}

std::wstring DatabaseFile(const std::wstring& name)
{
    return DataFolder() + name + L".mdf";
}

}  // namespace dbserver
