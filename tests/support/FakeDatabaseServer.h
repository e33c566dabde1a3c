// An in-process stand-in for the database server interface: it scripts results and
// failures and counts calls and references, so a test can see exactly what the tool
// asked of the server and that it let go of everything it held.
#pragma once
#include "DatabaseServer_h.h"
#include "ReservedSlots.h"

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

class FakeDatabaseServer : public DatabaseServer, public IClientSecurity {
public:
    FakeDatabaseServer();
    virtual ~FakeDatabaseServer();

    // Script
    HRESULT blanketResult = S_OK;     // what CoSetProxyBlanket sees from SetBlanket
    bool offerClientSecurity = true;  // whether the object is a "proxy" at all
    long stateResult = 0;
    long openDatabaseResult = 0;
    long closeDatabaseResult = 0;
    // Tables by name: each row a list of items ("KEY=" column TAB n TAB value). An item
    // kNullItem becomes an element with a null string, kIntegerItem a VT_I4 element.
    std::map<std::wstring, std::vector<std::vector<std::wstring>>> tables;
    long openRecordsetResult = 0;
    bool keyOnFailure = false;        // hand out a key even when OpenRecordset fails
    bool nullKey = false;             // success without a key
    std::wstring key = L"RS1";
    bool overrideRowCount = false;    // report rowCount instead of the table's size
    long rowCount = 0;
    long failReadAt = -1;             // ReadRecord of this row fails (and leaves a BSTR behind)
    long oddRowAt = -1;               // this row comes back as oddRowType
    VARTYPE oddRowType = VT_BSTR;
    long closeRecordsetResult = 0;
    long freeSpace = 0;
    long freeSpaceResult = 0;
    long backupResult = 0;
    bool writeBackups = false;        // mode 0 writes "<db> backup #n" to the path (a
                                      // partial one when backupResult fails it)
    bool emptyBackups = false;        // ...an empty file instead
    std::function<void()> afterBackup;  // runs once mode 0 has written, before it answers
    bool leavesFiles = false;         // mode 0 also leaves files of its own naming beside
                                      // the path (read-only ones too), as a server that
                                      // fails or ends may
    int backupsWritten = 0;
    static const wchar_t kNullItem[];
    static const wchar_t kIntegerItem[];

    // Observations
    LONG refs = 1;                    // the creator's reference
    std::vector<std::string> calls;   // "SetServerSystemState(0)", ...
    int recordsetsOpened = 0;
    int recordsetsClosed = 0;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IClientSecurity
    HRESULT STDMETHODCALLTYPE QueryBlanket(IUnknown*, DWORD*, DWORD*, OLECHAR**, DWORD*, DWORD*,
                                           RPC_AUTH_IDENTITY_HANDLE*, DWORD*) override;
    HRESULT STDMETHODCALLTYPE SetBlanket(IUnknown*, DWORD, DWORD, OLECHAR*, DWORD, DWORD, void*,
                                         DWORD) override;
    HRESULT STDMETHODCALLTYPE CopyProxy(IUnknown*, IUnknown**) override;

    // DatabaseServer: the operations the tool calls
    LONG STDMETHODCALLTYPE OpenDatabase(BSTR database, LONG reserved, LONG* handle) override;
    LONG STDMETHODCALLTYPE ReadRecord(BSTR database, BSTR key, LONG row, VARIANT* record) override;
    LONG STDMETHODCALLTYPE CloseDatabase(BSTR database) override;
    LONG STDMETHODCALLTYPE GetDatabaseDriveFreeSpace(LONG* freeMegabytes) override;
    LONG STDMETHODCALLTYPE OpenRecordset(BSTR database, BSTR table, LONG reserved, LONG* rowCount,
                                         BSTR* key) override;
    LONG STDMETHODCALLTYPE CloseRecordset(BSTR database, BSTR key) override;
    LONG STDMETHODCALLTYPE SetServerSystemState(LONG state) override;
    LONG STDMETHODCALLTYPE BackupRestoreDatabase(LONG mode, BSTR database, BSTR path) override;

    // The reserved slots: the tool never calls them.
#define FAKE_RESERVED(n) LONG STDMETHODCALLTYPE Reserved##n() override { return Unexpected(1##n - 100); }
    DATABASE_SERVER_RESERVED_SLOTS(FAKE_RESERVED)
#undef FAKE_RESERVED

protected:
    LONG Unexpected(int slot);
    static std::string Narrow(BSTR text);
    std::map<std::wstring, std::wstring> m_keys;  // open recordset key -> table
};

// Counts the COM task-memory blocks alive in this process: every BSTR, with the BSTR
// cache off (OANOCACHE=1, set by tools/wine-env for the tests). Measure the change
// around the code under test; it must be zero.
class BstrSpy {
public:
    BstrSpy();
    ~BstrSpy();
    long Live() const;

private:
    struct Spy;
    Spy* m_spy;
};

// Makes CoCreateInstanceEx of the server class hand out a given fake, in this process,
// for as long as the object lives. Each activation adds a reference for the caller.
class FakeServerRegistration {
public:
    explicit FakeServerRegistration(FakeDatabaseServer* server, HRESULT createResult = S_OK);
    ~FakeServerRegistration();
    int activations = 0;  // instances made
    int attempts = 0;     // instances asked for, made or refused

private:
    struct Factory;
    Factory* m_factory;
    DWORD m_cookie = 0;
};

}  // namespace testsupport
