#include "DatabaseAccess.h"

#include "MbText.h"
#include "Records.h"
#include "ServerConnection.h"
#include "TextConversion.h"
#include "WideText.h"

#include <cstdint>
#include <cstring>
#include <new>

namespace {

DatabaseServer** g_slot = nullptr;
// Set when a call found the server gone: the next call connects afresh (COM starts a new
// server process) instead of talking to the dead one. The code of a failed reconnection
// is what the calls answer until one succeeds.
bool g_connectionLost = false;
long g_noServerCode = -1;
long g_lostCode = 0;  // the code of the last call that found the server gone

long Observe(long code)
{
    if (IsConnectionLost(code)) {
        g_connectionLost = true;
        g_lostCode = code;
    }
    return code;
}

// A BSTR this code made, freed on every path out of the scope.
class OwnedBstr {
public:
    explicit OwnedBstr(const char* text) : m_s(AnsiToBstr(text)) {}
    ~OwnedBstr() { SysFreeString(m_s); }
    OwnedBstr(const OwnedBstr&) = delete;
    OwnedBstr& operator=(const OwnedBstr&) = delete;
    operator BSTR() const { return m_s; }

private:
    BSTR m_s;
};

// A row is an array of VARIANTs only if it says so and its elements are VARIANT-sized:
// anything else would be read past its end.
bool IsAcceptedRow(const VARIANT& row)
{
    if (!(row.vt & VT_ARRAY) || (row.vt & 0x000C) == 0 || (row.vt & VT_BYREF) || !row.parray)
        return false;
    // The element type itself, not only its size: DECIMAL elements are as large as a
    // VARIANT in a 32-bit program.
    VARTYPE elementType = VT_EMPTY;
    return SafeArrayGetDim(row.parray) == 1 && SafeArrayGetElemsize(row.parray) == sizeof(VARIANT) &&
           SUCCEEDED(SafeArrayGetVartype(row.parray, &elementType)) && elementType == VT_VARIANT;
}

void ParseElement(const VARIANT& element, void* record, const FieldLayout* fields, size_t fieldCount)
{
    // Only a string element holds an item; a null string is ignored like an item
    // without "KEY=".
    if (element.vt != VT_BSTR || !element.bstrVal)
        return;
    BSTR copy = SysAllocStringLen(element.bstrVal, SysStringLen(element.bstrVal));
    if (!copy)
        return;
    std::unique_ptr<char[]> text = BstrToAnsi(copy);
    SysFreeString(copy);
    if (text)
        ParseItem(text.get(), record, fields, fieldCount);
}

}  // namespace

void DatabaseAccess::SetServerSlot(DatabaseServer** slot)
{
    g_slot = slot;
    g_connectionLost = false;
    g_noServerCode = -1;
}

long DatabaseAccess::TakeLostConnection()
{
    long code = g_lostCode;
    g_lostCode = 0;
    return code;
}

DatabaseServer* DatabaseAccess::Server()
{
    if (!g_slot)
        return nullptr;
    if (g_connectionLost) {
        ReleaseDatabaseServer(g_slot);
        HRESULT hr = ConnectDatabaseServer(g_slot);
        if (FAILED(hr)) {
            ReleaseDatabaseServer(g_slot);
            g_noServerCode = hr;
            return nullptr;
        }
        g_connectionLost = false;
        g_noServerCode = -1;
    }
    return *g_slot;
}

// A server that ended while the tool was idle (ended by the user, or restarted by an
// update) is found gone by the next call: one that provably never reached it is made
// once more, on a new connection, so that the user's 実行 does not fail for it. A call
// that may have run is never repeated. *noServer: no interface pointer could be had.
template <typename Fn>
long DatabaseAccess::CallServer(Fn call, bool* noServer)
{
    DatabaseServer* server = Server();
    *noServer = server == nullptr;
    if (!server)
        return g_noServerCode;
    const long lostBefore = g_lostCode;
    const long first = Observe(call(server));
    if (!NeverReachedServer(first))
        return first;
    server = Server();
    if (!server)
        return first;  // no new connection either: told as the lost one
    const long code = Observe(call(server));
    // Answered on the new connection: nothing was lost that the user must hear of.
    if (!IsConnectionLost(code))
        g_lostCode = lostBefore;
    return code;
}

long DatabaseAccess::OpenDatabase(const char* database)
{
    OwnedBstr name(database);
    bool none;
    LONG handle = 0;
    return CallServer([&](DatabaseServer* s) { return s->OpenDatabase(name, 0, &handle); }, &none);
}

int DatabaseAccess::CloseDatabase(const char* database)
{
    OwnedBstr name(database);
    bool none;
    long code = CallServer([&](DatabaseServer* s) { return s->CloseDatabase(name); }, &none);
    return !none && code == 0 ? 1 : 0;
}

int DatabaseAccess::OpenRecordset(const char* database, const char* table, char* key, size_t keySize,
                                  long* rowCount)
{
    OwnedBstr name(database);
    OwnedBstr tableName(table);
    LONG rows = 0;
    BSTR serverKey = nullptr;
    DatabaseServer* server = nullptr;  // the one that answered
    bool none;
    long rc = CallServer(
        [&](DatabaseServer* s) {
            server = s;
            SysFreeString(serverKey);
            serverKey = nullptr;
            return s->OpenRecordset(name, tableName, 0, &rows, &serverKey);
        },
        &none);
    int result = 0;
    if (!none && rc == 0 && serverKey) {
        std::unique_ptr<char[]> text = BstrToAnsi(serverKey);
        // A key the code page cannot spell would be handed back as another one.
        if (text && std::strlen(text.get()) < keySize && !std::strchr(text.get(), kNoFormMark)) {
            std::strcpy(key, text.get());
            *rowCount = rows;
            result = 1;
        } else {
            // A key we cannot hold names a recordset we could never close later: closed
            // with the server's own text.
            server->CloseRecordset(name, serverKey);
        }
    }
    SysFreeString(serverKey);
    return result;
}

int DatabaseAccess::CloseRecordset(const char* database, const char* key)
{
    OwnedBstr name(database);
    OwnedBstr keyText(key);
    DatabaseServer* server = Server();
    if (!server)
        return 0;
    return Observe(server->CloseRecordset(name, keyText)) == 0 ? 1 : 0;
}

long DatabaseAccess::BackupRestoreDatabase(long mode, BSTR database, BSTR path)
{
    bool none;
    return CallServer([&](DatabaseServer* s) { return s->BackupRestoreDatabase(mode, database, path); }, &none);
}

long DatabaseAccess::SetServerSystemState(long state)
{
    bool none;
    return CallServer([&](DatabaseServer* s) { return s->SetServerSystemState(state); }, &none);
}

long DatabaseAccess::GetDatabaseDriveFreeSpace(long* freeMegabytes)
{
    LONG mb = 0;
    bool none;
    long rc = CallServer(
        [&](DatabaseServer* s) {
            mb = 0;
            return s->GetDatabaseDriveFreeSpace(&mb);
        },
        &none);
    *freeMegabytes = none ? 0 : mb;
    return rc;
}

int DatabaseAccess::ReadBookShelfRecords(const char* database, const char* table, HGLOBAL* block, long* count)
{
    return ReadTable(database, table, block, count, sizeof(BookShelfRecord), kBookShelfFields,
                     sizeof kBookShelfFields / sizeof kBookShelfFields[0]);
}

int DatabaseAccess::ReadBookRecords(const char* database, const char* table, HGLOBAL* block, long* count)
{
    return ReadTable(database, table, block, count, sizeof(BookRecord), kBookFields,
                     sizeof kBookFields / sizeof kBookFields[0]);
}

int DatabaseAccess::ReadShelfBookLinks(const char* database, const char* table, HGLOBAL* block, long* count)
{
    return ReadTable(database, table, block, count, sizeof(ShelfBookLink), kShelfBookLinkFields,
                     sizeof kShelfBookLinkFields / sizeof kShelfBookLinkFields[0]);
}

// The most a 32-bit program can hold in one block: the same limit in every build, so
// that a table the shipped program refuses is refused by the test build too.
const uint64_t kMaxTableBytes = 0x7FFFFFFF;

int DatabaseAccess::ReadTable(const char* database, const char* table, HGLOBAL* block, long* count,
                              size_t recordSize, const FieldLayout* fields, size_t fieldCount)
{
    OwnedBstr name(database);
    DatabaseServer* server = Server();
    if (!server)
        return 0;
    char key[kPathBufferSize];
    long rows = 0;
    if (!OpenRecordset(database, table, key, sizeof key, &rows))
        return 0;
    // The recordset lives on the connection that opened it (a new one, where the server
    // had ended meanwhile).
    server = Server();
    if (!server)
        return 0;
    OwnedBstr keyText(key);

    bool ok = true;
    if (rows > 0) {
        // One block for the whole table, allocated before the first row is read.
        HGLOBAL mem = nullptr;
        if (static_cast<uint64_t>(rows) * recordSize <= kMaxTableBytes)
            mem = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<size_t>(rows) * recordSize);
        char* records = mem ? static_cast<char*>(GlobalLock(mem)) : nullptr;
        if (mem)
            *block = mem;
        ok = records != nullptr;
        for (long r = 0; ok && r < rows; ++r) {
            VARIANT row;
            VariantInit(&row);
            if (Observe(server->ReadRecord(name, keyText, r, &row)) != 0 || !IsAcceptedRow(row)) {
                VariantClear(&row);
                ok = false;
                break;
            }
            VARIANT* elements = nullptr;
            if (SUCCEEDED(SafeArrayAccessData(row.parray, reinterpret_cast<void**>(&elements)))) {
                ULONG n = row.parray->rgsabound[0].cElements;
                for (ULONG i = 0; i < n; ++i)
                    ParseElement(elements[i], records + static_cast<size_t>(r) * recordSize, fields, fieldCount);
                SafeArrayUnaccessData(row.parray);
            }
            VariantClear(&row);
        }
        if (records)
            GlobalUnlock(mem);
    }
    if (!ok) {
        CloseRecordset(database, key);
        return 0;
    }
    if (!CloseRecordset(database, key))
        return 0;
    *count = rows;
    return 1;
}
