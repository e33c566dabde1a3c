#include "ServerConfig.h"

#include <mutex>

namespace standin {

const wchar_t kConfigKey[] = L"SOFTWARE\\OrvelDatabaseServer";

namespace {

// The Windows test kit runs as a standard user, who may not write HKLM: its test programs
// keep their machine keys under this key of the user's, and while it exists the settings
// are read there.
HKEY ConfigRoot()
{
    static HKEY root = [] {
        HKEY kit;
        return RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\OrvelTestKit\\Machine", 0, KEY_READ | KEY_NOTIFY, &kit) ==
                       ERROR_SUCCESS
                   ? kit
                   : HKEY_LOCAL_MACHINE;
    }();
    return root;
}

bool ReadValue(const wchar_t* name, DWORD* type, void* data, DWORD* size)
{
    HKEY key;
    // The 32-bit view, as the system's own settings: one place for them whichever
    // build of the server reads them.
    if (RegOpenKeyExW(ConfigRoot(), kConfigKey, 0, KEY_READ | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS)
        return false;
    LONG rc = RegQueryValueExW(key, name, nullptr, type, static_cast<BYTE*>(data), size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
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
    // Free-threaded answers a round trip about a quarter sooner on both builds, and every
    // test, the demo and the catalogue wait on round trips; "single" keeps the old way.
    return lstrcmpiW(ReadText(L"Apartment").c_str(), L"single") != 0;
}

bool RequireMdfName()
{
    DWORD type = 0, value = 0, size = sizeof value;
    return ReadValue(L"RequireMdfName", &type, &value, &size) && type == REG_DWORD && value != 0;
}

namespace {

// Every call looks at the faults, so they are kept in memory and read again only when
// the registry says the key has changed: a round trip must not pay for registry reads.
struct Faults {
    std::wstring operation;
    DWORD code = 0, delayMs = 0, row = 0, exitAfterBytes = 0;
    bool hasRow = false;
};

class FaultCache {
public:
    Faults Current()
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (!m_key && RegOpenKeyExW(ConfigRoot(), kConfigKey, 0, KEY_READ | KEY_NOTIFY | KEY_WOW64_32KEY,
                                    &m_key) != ERROR_SUCCESS) {
            m_key = nullptr;
            return Faults();  // no settings at all yet
        }
        if (!m_changed)
            m_changed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (!m_loaded || !m_changed || WaitForSingleObject(m_changed, 0) == WAIT_OBJECT_0) {
            // Watch first, then read: a change in between is not missed.
            if (m_changed)
                RegNotifyChangeKeyValue(m_key, FALSE, REG_NOTIFY_CHANGE_LAST_SET, m_changed, TRUE);
            m_faults = Read();
            m_loaded = m_changed != nullptr;
        }
        return m_faults;
    }

private:
    bool Number(const wchar_t* name, DWORD* value)
    {
        DWORD type = 0, size = sizeof *value;
        return RegQueryValueExW(m_key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
                   ERROR_SUCCESS &&
               type == REG_DWORD;
    }
    Faults Read()
    {
        Faults f;
        wchar_t text[64] = {};
        DWORD type = 0, size = sizeof text - sizeof(wchar_t);
        if (RegQueryValueExW(m_key, L"FaultOperation", nullptr, &type, reinterpret_cast<BYTE*>(text), &size) ==
                ERROR_SUCCESS &&
            type == REG_SZ)
            f.operation = text;
        Number(L"FaultCode", &f.code);
        Number(L"FaultDelayMs", &f.delayMs);
        f.hasRow = Number(L"FaultRow", &f.row);
        Number(L"FaultExitAfterBytes", &f.exitAfterBytes);
        return f;
    }

    std::mutex m_lock;
    HKEY m_key = nullptr;
    HANDLE m_changed = nullptr;
    bool m_loaded = false;
    Faults m_faults;
};

FaultCache g_faults;

}  // namespace

bool InjectedFault(const wchar_t* operation, long row, LONG* code)
{
    Faults f = g_faults.Current();
    if (f.operation.empty() || lstrcmpiW(f.operation.c_str(), operation) != 0)
        return false;
    if (f.hasRow && static_cast<long>(f.row) != row)
        return false;
    if (f.delayMs)
        Sleep(f.delayMs);
    if (f.code == 0)
        return false;
    *code = static_cast<LONG>(f.code);
    return true;
}

DWORD ExitAfterBytes()
{
    Faults f = g_faults.Current();
    return lstrcmpiW(f.operation.c_str(), L"BackupRestoreDatabase") == 0 ? f.exitAfterBytes : 0;
}

std::wstring DatabaseFile(const std::wstring& name)
{
    return DataFolder() + name + L".mdf";
}

}  // namespace standin
