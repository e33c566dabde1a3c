// DatabaseServer.exe: the stand-in for the system's database server component, a COM
// local server. "/RegServer" and "/UnregServer" register and unregister the class, the
// interface and its proxy (DatabaseServerPS.dll beside this program); with "/PerUser"
// they do it for the current user alone, as a standard user may; started by COM (with
// -Embedding) it serves clients until its last object has been released.
#include "Connection.h"
#include "FileIo.h"
#include "ServerConfig.h"
#include "ServerIds.h"

#include <windows.h>

#include <cwchar>

namespace {

LONG g_locks = 0;

class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }   // static object
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        standin::Connection* connection = new (std::nothrow) standin::Connection;
        if (!connection)
            return E_OUTOFMEMORY;
        HRESULT hr = connection->QueryInterface(riid, ppv);
        connection->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        if (lock)
            InterlockedIncrement(&g_locks);
        else
            InterlockedDecrement(&g_locks);
        return S_OK;
    }
};

Factory g_factory;

std::wstring GuidText(REFGUID guid)
{
    wchar_t text[64];
    StringFromGUID2(guid, text, 64);
    return text;
}

std::wstring ModulePath()
{
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, n < MAX_PATH ? n : 0);
}

bool SetKey(const std::wstring& key, const wchar_t* name, const std::wstring& value)
{
    HKEY h;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) !=
        ERROR_SUCCESS)
        return false;
    LONG rc = RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
    return rc == ERROR_SUCCESS;
}

using RegisterFn = HRESULT(STDAPICALLTYPE*)();

HRESULT CallProxyDll(const char* function)
{
    std::wstring dll = standin::ModuleFolder() + L"DatabaseServerPS.dll";
    HMODULE module = LoadLibraryW(dll.c_str());
    if (!module)
        return HRESULT_FROM_WIN32(GetLastError());
    RegisterFn fn = reinterpret_cast<RegisterFn>(reinterpret_cast<void*>(GetProcAddress(module, function)));
    HRESULT hr = fn ? fn() : E_FAIL;
    FreeLibrary(module);
    return hr;
}

int Register()
{
    std::wstring clsid = L"CLSID\\" + GuidText(CLSID_DatabaseServer);
    bool ok = SetKey(clsid, nullptr, L"OrvelClientTool stand-in DatabaseServer") &&
              SetKey(clsid + L"\\LocalServer32", nullptr, L"\"" + ModulePath() + L"\"");
    HRESULT hr = CallProxyDll("DllRegisterServer");
    return ok && SUCCEEDED(hr) ? 0 : 1;
}

int Unregister()
{
    CallProxyDll("DllUnregisterServer");
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + GuidText(CLSID_DatabaseServer)).c_str());
    RegDeleteKeyW(HKEY_CLASSES_ROOT, (L"CLSID\\" + GuidText(CLSID_DatabaseServer)).c_str());
    return 0;
}

bool HasSwitch(const wchar_t* commandLine, const wchar_t* name)
{
    // A switch is written /Name or -Name, in any letter case.
    std::wstring line = commandLine;
    CharUpperBuffW(&line[0], static_cast<DWORD>(line.size()));
    std::wstring upper = name;
    CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
    return line.find(L"/" + upper) != std::wstring::npos || line.find(L"-" + upper) != std::wstring::npos;
}

int Serve()
{
    bool freeThreaded = standin::FreeThreaded();
    if (FAILED(CoInitializeEx(nullptr, freeThreaded ? COINIT_MULTITHREADED : COINIT_APARTMENTTHREADED)))
        return 1;
    CreateDirectoryW(standin::DataFolder().c_str(), nullptr);
    // A server that ended in the middle of a restore left its temporary file here.
    standin::RemoveStaleTemporaryFiles(standin::DataFolder());
    DWORD cookie = 0;
    HRESULT hr = CoRegisterClassObject(CLSID_DatabaseServer, &g_factory, CLSCTX_LOCAL_SERVER,
                                       REGCLS_MULTIPLEUSE, &cookie);
    if (FAILED(hr)) {
        CoUninitialize();
        return 1;
    }
    // Serve until nothing has been alive for a while. The lingering covers a client
    // that releases its object and at once activates a new one; at start, the
    // activation that started us may take a moment to arrive.
    const DWORD kStartGraceMs = 15000, kLingerMs = 2000, kAfterRevokeMs = 500;
    auto pump = [] {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    };
    auto idle = [] { return standin::LiveObjects() == 0 && InterlockedCompareExchange(&g_locks, 0, 0) == 0; };
    DWORD idleSince = GetTickCount();
    DWORD allowed = kStartGraceMs;
    for (;;) {
        pump();
        if (!idle()) {
            idleSince = 0;
            allowed = kLingerMs;
            continue;
        }
        if (idleSince == 0) {
            idleSince = GetTickCount();
            continue;
        }
        if (GetTickCount() - idleSince <= allowed)
            continue;
        // Withdrawn before the end: an activation from now on starts a new server instead
        // of reaching one that is going. One that was handed the class object just before
        // may still ask it for an object: wait a moment, and serve on if it does.
        CoRevokeClassObject(cookie);
        DWORD revokedAt = GetTickCount();
        while (idle() && GetTickCount() - revokedAt < kAfterRevokeMs)
            pump();
        if (idle())
            break;
        if (FAILED(CoRegisterClassObject(CLSID_DatabaseServer, &g_factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                         &cookie))) {
            while (!idle())  // serve the clients it has, take no new ones
                pump();
            break;
        }
        idleSince = 0;
        allowed = kLingerMs;
    }
    CoUninitialize();
    return 0;
}

// The same keys under HKCU\Software\Classes, which COM reads before the machine's
// classes for this user: the proxy DLL's own registration writes there too.
bool ClassesPerUser()
{
    HKEY user;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &user,
                        nullptr) != ERROR_SUCCESS)
        return false;
    LONG rc = RegOverridePredefKey(HKEY_CLASSES_ROOT, user);
    RegCloseKey(user);
    return rc == ERROR_SUCCESS;
}

void RemoveIfEmpty(HKEY root, const wchar_t* name)
{
    HKEY key;
    if (RegOpenKeyExW(root, name, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    DWORD subKeys = 1, values = 1;
    LONG rc = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                               nullptr, nullptr);
    RegCloseKey(key);
    if (rc == ERROR_SUCCESS && subKeys == 0 && values == 0)
        RegDeleteKeyW(root, name);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int)
{
    bool registering = HasSwitch(commandLine, L"RegServer") || HasSwitch(commandLine, L"UnregServer");
    if (registering && HasSwitch(commandLine, L"PerUser") && !ClassesPerUser())
        return 1;
    if (HasSwitch(commandLine, L"UnregServer")) {
        int rc = Unregister();
        if (HasSwitch(commandLine, L"PerUser")) {
            // Leave the user's classes as they were: the parents the registration
            // needed go too when nothing else is in them.
            RemoveIfEmpty(HKEY_CLASSES_ROOT, L"CLSID");
            RemoveIfEmpty(HKEY_CLASSES_ROOT, L"Interface");
            RemoveIfEmpty(HKEY_CURRENT_USER, L"Software\\Classes");
        }
        return rc;
    }
    if (HasSwitch(commandLine, L"RegServer"))
        return Register();
    return Serve();
}
