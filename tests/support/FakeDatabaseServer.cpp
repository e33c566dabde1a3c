#include "FakeDatabaseServer.h"

#include "ServerIds.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace testsupport {

FakeDatabaseServer::FakeDatabaseServer() = default;
FakeDatabaseServer::~FakeDatabaseServer() = default;

HRESULT FakeDatabaseServer::QueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IUnknown || riid == IID_DatabaseServer) {
        *ppv = static_cast<DatabaseServer*>(this);
    } else if (riid == IID_IClientSecurity && offerClientSecurity) {
        *ppv = static_cast<IClientSecurity*>(this);
    } else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG FakeDatabaseServer::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs)); }

ULONG FakeDatabaseServer::Release()
{
    LONG n = InterlockedDecrement(&refs);
    if (n < 0)
        ADD_FAILURE() << "the server interface was released more often than it was referenced";
    return static_cast<ULONG>(n);
}

HRESULT FakeDatabaseServer::QueryBlanket(IUnknown*, DWORD*, DWORD*, OLECHAR**, DWORD*, DWORD*,
                                         RPC_AUTH_IDENTITY_HANDLE*, DWORD*)
{
    return E_NOTIMPL;
}

HRESULT FakeDatabaseServer::SetBlanket(IUnknown*, DWORD authn, DWORD authz, OLECHAR* principal,
                                       DWORD level, DWORD impersonation, void* identity, DWORD caps)
{
    char line[160];
    std::snprintf(line, sizeof line, "SetBlanket(%lu,%lu,%s,%lu,%lu,%s,%lu)", authn, authz,
                  principal ? "principal" : "null", level, impersonation,
                  identity ? "identity" : "null", caps);
    calls.push_back(line);
    return blanketResult;
}

HRESULT FakeDatabaseServer::CopyProxy(IUnknown*, IUnknown** copy)
{
    *copy = nullptr;
    return E_NOTIMPL;
}

std::string FakeDatabaseServer::Narrow(BSTR text)
{
    if (!text)
        return "(null)";
    int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, &s[0], n, nullptr, nullptr);
    s.resize(n > 0 ? n - 1 : 0);
    return s;
}

LONG FakeDatabaseServer::Unexpected(int slot)
{
    ADD_FAILURE() << "the tool called reserved server slot " << slot;
    return -1;
}

LONG FakeDatabaseServer::OpenDatabase(BSTR database, LONG, LONG* handle)
{
    calls.push_back("OpenDatabase(" + Narrow(database) + ")");
    if (handle)
        *handle = 1;
    return 0;
}

LONG FakeDatabaseServer::ReadRecord(BSTR database, BSTR key, LONG row, VARIANT*)
{
    calls.push_back("ReadRecord(" + Narrow(database) + "," + Narrow(key) + "," + std::to_string(row) + ")");
    return 1;
}

LONG FakeDatabaseServer::CloseDatabase(BSTR database)
{
    calls.push_back("CloseDatabase(" + Narrow(database) + ")");
    return 0;
}

LONG FakeDatabaseServer::GetDatabaseDriveFreeSpace(LONG* freeMegabytes)
{
    calls.push_back("GetDatabaseDriveFreeSpace");
    *freeMegabytes = 0;
    return 0;
}

LONG FakeDatabaseServer::OpenRecordset(BSTR database, BSTR table, LONG, LONG* rowCount, BSTR*)
{
    calls.push_back("OpenRecordset(" + Narrow(database) + "," + Narrow(table) + ")");
    *rowCount = 0;
    return 1;
}

LONG FakeDatabaseServer::CloseRecordset(BSTR database, BSTR key)
{
    calls.push_back("CloseRecordset(" + Narrow(database) + "," + Narrow(key) + ")");
    return 0;
}

LONG FakeDatabaseServer::SetServerSystemState(LONG state)
{
    calls.push_back("SetServerSystemState(" + std::to_string(state) + ")");
    return stateResult;
}

LONG FakeDatabaseServer::BackupRestoreDatabase(LONG mode, BSTR database, BSTR path)
{
    calls.push_back("BackupRestoreDatabase(" + std::to_string(mode) + "," + Narrow(database) + "," +
                    Narrow(path) + ")");
    return 1;
}

struct FakeServerRegistration::Factory : public IClassFactory {
    FakeServerRegistration* owner;
    FakeDatabaseServer* server;
    HRESULT createResult;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override
    {
        *ppv = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        if (FAILED(createResult))
            return createResult;
        ++owner->activations;
        return server->QueryInterface(riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

FakeServerRegistration::FakeServerRegistration(FakeDatabaseServer* server, HRESULT createResult)
    : m_factory(new Factory)
{
    m_factory->owner = this;
    m_factory->server = server;
    m_factory->createResult = createResult;
    HRESULT hr = CoRegisterClassObject(CLSID_DatabaseServer, m_factory, CLSCTX_INPROC_SERVER,
                                       REGCLS_MULTIPLEUSE, &m_cookie);
    EXPECT_EQ(S_OK, hr) << "could not register the fake server class";
}

FakeServerRegistration::~FakeServerRegistration()
{
    CoRevokeClassObject(m_cookie);
    delete m_factory;
}

}  // namespace testsupport
