// One client connection of the stand-in server: the DatabaseServer object a client
// activates. Its open databases and recordsets are its own; a database one connection
// has open is "in use" for every other.
#pragma once
#include "DatabaseServer_h.h"
#include "ReservedSlots.h"
#include "Storage.h"

#include <map>
#include <memory>
#include <set>
#include <string>

namespace standin {

// Objects and locks alive in this process; the server ends when both stay at zero.
LONG LiveObjects();
void AddLiveObject();
void ReleaseLiveObject();

// A database file open for reading, with its list of tables.
struct LoadedDatabase;

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
    DATABASE_SERVER_RESERVED_SLOTS(SERVER_RESERVED)
#undef SERVER_RESERVED

private:
    struct Recordset {
        std::wstring databaseKey;
        std::shared_ptr<LoadedDatabase> database;  // keeps the file open
        const storage::TableInfo* table;
        std::shared_ptr<storage::RowReader> rows;
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

}  // namespace standin
