// The tool's only way to the server: every call converts its text, calls the server
// through the application's one interface pointer and frees what it made. Stateless:
// a caller makes one on its own stack for one task.
#pragma once
#include "DatabaseServer_h.h"
#include "RecordParser.h"

#include <windows.h>

class DatabaseAccess {
public:
    // Where the application keeps its interface pointer; read afresh at every call.
    static void SetServerSlot(DatabaseServer** slot);

    // A call that finds the server gone (IsConnectionLost) makes the next call connect
    // afresh into the same slot; one that provably never reached it (NeverReachedServer)
    // is made once more that way at once, and told only where that fails too.
    // The code of the last call since the previous asking that found the server gone, or
    // 0: what a caller that reads only 1 or 0 (the tables) tells the user instead.
    static long TakeLostConnection();

    // The server's code unchanged (0 = opened); -1 when no interface pointer is held
    // (or the HRESULT of a failed reconnection).
    long OpenDatabase(const char* database);
    // 1 when the server returns 0; 0 otherwise or without an interface pointer.
    int CloseDatabase(const char* database);
    // 1 when the recordset is open: its key (with terminator) in key[keySize], the row
    // count in *rowCount. 0 otherwise, key and count left as they were. A key the
    // buffer cannot hold fails the call, and the server's recordset is closed again.
    int OpenRecordset(const char* database, const char* table, char* key, size_t keySize, long* rowCount);
    int CloseRecordset(const char* database, const char* key);

    // Passed through unchanged; -1 (out-values zero) when no interface pointer is held.
    long BackupRestoreDatabase(long mode, BSTR database, BSTR path);
    long SetServerSystemState(long state);
    long GetDatabaseDriveFreeSpace(long* freeMegabytes);

    // Whole tables of an open database, one record per row in one movable zero-filled
    // global block (*block, stored as soon as it exists; the caller frees it in every
    // case). 1 with *count set on success; 0 otherwise, *count untouched.
    int ReadBookShelfRecords(const char* database, const char* table, HGLOBAL* block, long* count);
    int ReadBookRecords(const char* database, const char* table, HGLOBAL* block, long* count);
    int ReadShelfBookLinks(const char* database, const char* table, HGLOBAL* block, long* count);

private:
    static DatabaseServer* Server();
    template <typename Fn>
    static long CallServer(Fn call, bool* noServer);
    int ReadTable(const char* database, const char* table, HGLOBAL* block, long* count,
                  size_t recordSize, const FieldLayout* fields, size_t fieldCount);
};
