// What the test programs share: the in-process fake server (here), the dialog and message
// box drivers, files and the system's names (Support), the kit's facts (KitSystem.h).
#include "FakeDatabaseServer.h"

#include "ServerIds.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>

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

const wchar_t FakeDatabaseServer::kNullItem[] = L"<null element>";
const wchar_t FakeDatabaseServer::kIntegerItem[] = L"<integer element>";

LONG FakeDatabaseServer::OpenDatabase(BSTR database, LONG, LONG* handle)
{
    calls.push_back("OpenDatabase(" + Narrow(database) + ")");
    if (handle)
        *handle = 1;
    return openDatabaseResult;
}

namespace {
std::wstring CurrentTable(const std::map<std::wstring, std::wstring>& keys, BSTR key)
{
    auto it = keys.find(key ? key : L"");
    return it == keys.end() ? L"" : it->second;
}
}  // namespace

LONG FakeDatabaseServer::ReadRecord(BSTR database, BSTR key, LONG row, VARIANT* record)
{
    calls.push_back("ReadRecord(" + Narrow(database) + "," + Narrow(key) + "," + std::to_string(row) + ")");
    if (row == failReadAt) {
        // Something left in the out-value on failure is still the caller's to clear.
        record->vt = VT_BSTR;
        record->bstrVal = SysAllocString(L"partial row");
        return 5;
    }
    if (row == oddRowAt) {
        record->vt = oddRowType;
        if (oddRowType == VT_BSTR) {
            record->bstrVal = SysAllocString(L"KEY=T_Index\t1\t9");
        } else if (oddRowType & VT_ARRAY) {
            VARTYPE element = static_cast<VARTYPE>(oddRowType & ~VT_ARRAY);
            record->parray = SafeArrayCreateVector(element, 0, 2);
            if (element == VT_BSTR) {
                BSTR* items;
                SafeArrayAccessData(record->parray, reinterpret_cast<void**>(&items));
                items[0] = SysAllocString(L"KEY=T_Index\t1\t9");
                items[1] = SysAllocString(L"KEY=T_Index\t1\t9");
                SafeArrayUnaccessData(record->parray);
            }
        }
        return 0;
    }
    auto table = tables.find(CurrentTable(m_keys, key));
    if (table == tables.end() || row < 0 || static_cast<size_t>(row) >= table->second.size())
        return 6;
    const std::vector<std::wstring>& items = table->second[row];
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(items.size()));
    VARIANT* elements;
    SafeArrayAccessData(array, reinterpret_cast<void**>(&elements));
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i] == kNullItem) {
            elements[i].vt = VT_BSTR;
            elements[i].bstrVal = nullptr;
        } else if (items[i] == kIntegerItem) {
            elements[i].vt = VT_I4;
            elements[i].lVal = 12345;
        } else {
            elements[i].vt = VT_BSTR;
            elements[i].bstrVal = SysAllocStringLen(items[i].c_str(), static_cast<UINT>(items[i].size()));
        }
    }
    SafeArrayUnaccessData(array);
    record->vt = VT_ARRAY | VT_VARIANT;
    record->parray = array;
    return 0;
}

LONG FakeDatabaseServer::CloseDatabase(BSTR database)
{
    calls.push_back("CloseDatabase(" + Narrow(database) + ")");
    return closeDatabaseResult;
}

LONG FakeDatabaseServer::GetDatabaseDriveFreeSpace(LONG* freeMegabytes)
{
    calls.push_back("GetDatabaseDriveFreeSpace");
    *freeMegabytes = freeSpace;
    return freeSpaceResult;
}

LONG FakeDatabaseServer::OpenRecordset(BSTR database, BSTR table, LONG, LONG* count, BSTR* outKey)
{
    calls.push_back("OpenRecordset(" + Narrow(database) + "," + Narrow(table) + ")");
    auto found = tables.find(table ? table : L"");
    if (openRecordsetResult != 0 || found == tables.end()) {
        if (keyOnFailure)
            *outKey = SysAllocString(key.c_str());
        return openRecordsetResult != 0 ? openRecordsetResult : 4;
    }
    ++recordsetsOpened;
    m_keys[key] = found->first;
    *count = overrideRowCount ? rowCount : static_cast<LONG>(found->second.size());
    *outKey = nullKey ? nullptr : SysAllocStringLen(key.c_str(), static_cast<UINT>(key.size()));
    return 0;
}

LONG FakeDatabaseServer::CloseRecordset(BSTR database, BSTR closeKey)
{
    calls.push_back("CloseRecordset(" + Narrow(database) + "," + Narrow(closeKey) + ")");
    if (m_keys.erase(closeKey ? closeKey : L""))
        ++recordsetsClosed;
    return closeRecordsetResult;
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
    auto write = [](const std::wstring& file, const std::string& content) {
        HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        DWORD written;
        ::WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        CloseHandle(h);
        return true;
    };
    if (mode == 0 && leavesFiles) {
        std::wstring folder = path;
        folder.resize(folder.find_last_of(L'\\') + 1);
        write(std::wstring(path) + L".tmp7-1", "the server's own");
        write(folder + L".~backup", "the server's own, hidden");
        // A read-only folder holding a read-only file: what a copy from a CD leaves.
        std::wstring parts = std::wstring(path) + L".parts";
        CreateDirectoryW(parts.c_str(), nullptr);
        write(parts + L"\\1", "part");
        SetFileAttributesW((parts + L"\\1").c_str(), FILE_ATTRIBUTE_READONLY);
        SetFileAttributesW(parts.c_str(), FILE_ATTRIBUTE_READONLY);
    }
    if (mode == 0 && writeBackups) {
        std::string content = emptyBackups ? std::string()
                              : backupResult ? "partial"
                                             : Narrow(database) + " backup #" + std::to_string(++backupsWritten);
        if (!write(path, content) && backupResult == 0)
            return 1010;
    }
    if (mode == 0 && afterBackup)
        afterBackup();
    return backupResult;
}

struct BstrSpy::Spy final : public IMallocSpy {
    std::set<void*> live;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IMallocSpy) {
            *ppv = this;
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T cb) override { return cb; }
    void* STDMETHODCALLTYPE PostAlloc(void* p) override
    {
        if (p)
            live.insert(p);
        return p;
    }
    void* STDMETHODCALLTYPE PreFree(void* p, BOOL) override
    {
        live.erase(p);
        return p;
    }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* p, SIZE_T cb, void** out, BOOL) override
    {
        live.erase(p);
        *out = p;
        return cb;
    }
    void* STDMETHODCALLTYPE PostRealloc(void* p, BOOL) override
    {
        if (p)
            live.insert(p);
        return p;
    }
    void* STDMETHODCALLTYPE PreGetSize(void* p, BOOL) override { return p; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T cb, BOOL) override { return cb; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* p, BOOL) override { return p; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}
};

BstrSpy::BstrSpy() : m_spy(new Spy)
{
    EXPECT_EQ(S_OK, CoRegisterMallocSpy(m_spy)) << "the allocation spy could not be registered";
}

BstrSpy::~BstrSpy()
{
    CoRevokeMallocSpy();
    // Blocks allocated under the spy may still be freed later; the object must stay.
    m_spy->live.clear();
}

long BstrSpy::Live() const { return static_cast<long>(m_spy->live.size()); }

struct FakeServerRegistration::Factory final : public IClassFactory {
    virtual ~Factory() = default;
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
        ++owner->attempts;
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
