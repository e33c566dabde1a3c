// One client connection of the stand-in server: the DatabaseServer object a client
// activates. Its open databases and recordsets are its own; a database one connection
// has open is "in use" for every other.
#pragma once
#include "DatabaseServer_h.h"
#include "Storage.h"

#include <map>
#include <memory>
#include <set>
#include <string>

namespace dbserver {

// Objects and locks alive in this process; the server ends when both stay at zero.
LONG LiveObjects();
void AddLiveObject();
void ReleaseLiveObject();

class Connection final : public DatabaseServer {
public:
    Connection();
    ~Connection();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    LONG STDMETHODCALLTYPE OpenDatabase(BSTR database, LONG reserved, LONG* handle) override;
    LONG STDMETHODCALLTYPE ReadRecord(BSTR database, BSTR key, LONG row, VARIANT* record) override;
    LONG STDMETHODCALLTYPE CloseDatabase(BSTR database) override;
    LONG STDMETHODCALLTYPE GetDatabaseDriveFreeSpace(LONG* freeMegabytes) override;
    LONG STDMETHODCALLTYPE OpenRecordset(BSTR database, BSTR table, LONG reserved, LONG* rowCount,
                                         BSTR* key) override;
    LONG STDMETHODCALLTYPE CloseRecordset(BSTR database, BSTR key) override;
    LONG STDMETHODCALLTYPE SetServerSystemState(LONG state) override;
    LONG STDMETHODCALLTYPE BackupRestoreDatabase(LONG mode, BSTR database, BSTR path) override;

#define SERVER_RESERVED(n) LONG STDMETHODCALLTYPE Reserved##n() override;
    SERVER_RESERVED(03) SERVER_RESERVED(04) SERVER_RESERVED(05) SERVER_RESERVED(06)
    SERVER_RESERVED(07) SERVER_RESERVED(08) SERVER_RESERVED(09) SERVER_RESERVED(11)
    SERVER_RESERVED(12) SERVER_RESERVED(13) SERVER_RESERVED(14) SERVER_RESERVED(15)
    SERVER_RESERVED(16) SERVER_RESERVED(17) SERVER_RESERVED(18) SERVER_RESERVED(19)
    SERVER_RESERVED(20) SERVER_RESERVED(21) SERVER_RESERVED(22) SERVER_RESERVED(23)
    SERVER_RESERVED(24) SERVER_RESERVED(26) SERVER_RESERVED(27) SERVER_RESERVED(28)
    SERVER_RESERVED(29) SERVER_RESERVED(30) SERVER_RESERVED(31) SERVER_RESERVED(32)
    SERVER_RESERVED(33) SERVER_RESERVED(34) SERVER_RESERVED(35) SERVER_RESERVED(36)
    SERVER_RESERVED(38) SERVER_RESERVED(39) SERVER_RESERVED(40) SERVER_RESERVED(42)
    SERVER_RESERVED(43) SERVER_RESERVED(44) SERVER_RESERVED(45) SERVER_RESERVED(48)
    SERVER_RESERVED(49) SERVER_RESERVED(50) SERVER_RESERVED(51) SERVER_RESERVED(52)
    SERVER_RESERVED(53) SERVER_RESERVED(54) SERVER_RESERVED(55) SERVER_RESERVED(57)
    SERVER_RESERVED(58)
#undef SERVER_RESERVED

private:
    struct Recordset {
        std::wstring databaseKey;
        std::shared_ptr<const storage::Database> database;  // keeps the snapshot alive
        const storage::Table* table;
    };
    void DropIfStale();  // after a stop of the server system, everything held is gone

    LONG m_refs = 1;
    unsigned m_generation;
    unsigned m_nextKey = 1;
    std::set<std::wstring> m_open;              // database keys (upper case)
    std::map<std::wstring, Recordset> m_recordsets;
};

// Whether a client's database name may name a file in the data folder.
bool IsValidDatabaseName(const std::wstring& name);

}  // namespace dbserver
