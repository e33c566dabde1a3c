#include "Connection.h"

#include "ErrorCodes.h"
#include "ServerNumbers.h"
#include "FileIo.h"
#include "ServerConfig.h"

#include <mutex>
#include <new>

namespace standin {
namespace {

LONG g_live = 0;
}  // namespace

struct LoadedDatabase {
    FileSource file;
    std::vector<storage::TableInfo> tables;
};

namespace {

// State shared by every connection; one lock, held for each whole operation, so that a
// backup is a consistent copy and a restore cannot race an open.
struct Shared {
    std::mutex lock;
    bool stopped = false;
    unsigned generation = 0;
    std::map<std::wstring, std::set<const Connection*>> users;  // who has which database open
    std::map<std::wstring, std::shared_ptr<LoadedDatabase>> loaded;
};
Shared g_shared;

std::wstring Text(BSTR s) { return s ? std::wstring(s, SysStringLen(s)) : std::wstring(); }

std::wstring KeyOf(const std::wstring& name)
{
    std::wstring key = name;
    if (!key.empty())
        CharUpperBuffW(&key[0], static_cast<DWORD>(key.size()));
    return key;
}

std::u16string U16(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }

LONG ToCode(storage::ParseResult r)
{
    switch (r) {
    case storage::ParseResult::Ok:
        return kOk;
    case storage::ParseResult::NotADatabase:
        return kNotADatabase;
    case storage::ParseResult::ReadFailed:
        return kReadFailed;
    case storage::ParseResult::Corrupt:
        break;
    }
    return kCorrupt;
}

// A backup's checksum, taken from the bytes the restore copies as they are written (on
// the writing thread, while the next are read): a damaged backup never takes the
// database's place, and it is read once.
class PayloadCheck final : public CopyCheck {
public:
    explicit PayloadCheck(const storage::Header& header) : m_header(header) {}
    void Chunk(uint64_t offset, const uint8_t* data, size_t n) override
    {
        if (offset + n <= storage::kHeaderSize)
            return;
        size_t skip = offset < storage::kHeaderSize ? static_cast<size_t>(storage::kHeaderSize - offset) : 0;
        m_crc = storage::Crc32(data + skip, n - skip, m_crc);
    }
    bool Complete(uint64_t size) override
    {
        return size == storage::kHeaderSize + m_header.payloadLength && m_crc == m_header.crc;
    }

private:
    storage::Header m_header;
    uint32_t m_crc = 0;
};

// Opens (or finds open) the database: its header and checksum checked and its tables
// listed, streaming, whatever its size. The caller holds the lock.
LONG Load(const std::wstring& name, const std::wstring& key, std::shared_ptr<LoadedDatabase>* out)
{
    auto it = g_shared.loaded.find(key);
    if (it != g_shared.loaded.end()) {
        *out = it->second;
        return kOk;
    }
    try {
        auto db = std::make_shared<LoadedDatabase>();
        if (!db->file.Open(DatabaseFile(name)))
            return kReadFailed;
        storage::ParseResult r = storage::OpenDatabase(db->file, &db->tables);
        if (r != storage::ParseResult::Ok)
            return ToCode(r);
        g_shared.loaded[key] = db;
        *out = db;
        return kOk;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }
}

void Forget(const Connection* who)
{
    for (auto it = g_shared.users.begin(); it != g_shared.users.end();) {
        it->second.erase(who);
        if (it->second.empty()) {
            g_shared.loaded.erase(it->first);
            it = g_shared.users.erase(it);
        } else {
            ++it;
        }
    }
}

bool FileExists(const std::wstring& path)
{
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

LONG LiveObjects() { return InterlockedCompareExchange(&g_live, 0, 0); }
void AddLiveObject() { InterlockedIncrement(&g_live); }
void ReleaseLiveObject() { InterlockedDecrement(&g_live); }

bool IsValidDatabaseName(const std::wstring& name)
{
    if (name.empty() || name.size() > 128 || name.find(L"..") != std::wstring::npos)
        return false;
    for (wchar_t c : name)
        if (c < 0x20 || wcschr(L"\\/:*?\"<>|", c))
            return false;
    // Windows drops trailing dots and blanks, and device names name no file.
    if (name.back() == L'.' || name.back() == L' ')
        return false;
    std::wstring upper = KeyOf(name);
    std::wstring stem = upper.substr(0, upper.find(L'.'));
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL"})
        if (stem == device)
            return false;
    if (stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0) &&
        stem[3] >= L'1' && stem[3] <= L'9')
        return false;
    return true;
}

Connection::Connection()
{
    AddLiveObject();
    std::lock_guard<std::mutex> hold(g_shared.lock);
    m_generation = g_shared.generation;
}

Connection::~Connection()
{
    {
        std::lock_guard<std::mutex> hold(g_shared.lock);
        Forget(this);
    }
    ReleaseLiveObject();
}

HRESULT Connection::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_DatabaseServer) {
        *ppv = static_cast<DatabaseServer*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG Connection::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }

ULONG Connection::Release()
{
    LONG n = InterlockedDecrement(&m_refs);
    if (n == 0)
        delete this;
    return static_cast<ULONG>(n);
}

void Connection::DropIfStale()
{
    if (m_generation != g_shared.generation) {
        m_open.clear();
        m_recordsets.clear();
        m_generation = g_shared.generation;
    }
}

LONG Connection::OpenDatabase(BSTR database, LONG, LONG* handle)
{
    if (handle)
        *handle = 0;
    LONG fault;
    if (InjectedFault(L"OpenDatabase", -1, &fault))
        return fault;
    std::wstring name = Text(database);
    std::lock_guard<std::mutex> hold(g_shared.lock);
    DropIfStale();
    if (g_shared.stopped)
        return kStopped;
    if (!IsValidDatabaseName(name))
        return kBadName;
    if (!FileExists(DatabaseFile(name)))
        return kNoDatabase;
    std::wstring key = KeyOf(name);
    m_open.insert(key);
    g_shared.users[key].insert(this);
    if (handle)
        *handle = 1;
    return kOk;
}

LONG Connection::CloseDatabase(BSTR database)
{
    LONG fault;
    if (InjectedFault(L"CloseDatabase", -1, &fault))
        return fault;
    std::wstring key = KeyOf(Text(database));
    std::lock_guard<std::mutex> hold(g_shared.lock);
    DropIfStale();
    if (g_shared.stopped)
        return kStopped;
    if (!m_open.erase(key))
        return kNotOpen;
    for (auto it = m_recordsets.begin(); it != m_recordsets.end();)
        it = it->second.databaseKey == key ? m_recordsets.erase(it) : std::next(it);
    auto users = g_shared.users.find(key);
    if (users != g_shared.users.end()) {
        users->second.erase(this);
        if (users->second.empty()) {
            g_shared.users.erase(users);
            g_shared.loaded.erase(key);
        }
    }
    return kOk;
}

LONG Connection::OpenRecordset(BSTR database, BSTR table, LONG, LONG* rowCount, BSTR* key)
{
    if (!rowCount || !key)
        return kBadArgument;
    *rowCount = 0;
    *key = nullptr;
    LONG fault;
    if (InjectedFault(L"OpenRecordset", -1, &fault))
        return fault;
    std::wstring name = Text(database);
    std::wstring dbKey = KeyOf(name);
    std::lock_guard<std::mutex> hold(g_shared.lock);
    DropIfStale();
    if (g_shared.stopped)
        return kStopped;
    if (!m_open.count(dbKey))
        return kNotOpen;
    std::shared_ptr<LoadedDatabase> db;
    LONG rc = Load(name, dbKey, &db);
    if (rc != kOk)
        return rc;
    const std::u16string tableName = U16(Text(table));
    const storage::TableInfo* found = nullptr;
    for (const storage::TableInfo& t : db->tables)
        if (!found && t.name == tableName)
            found = &t;
    if (!found)
        return kNoTable;
    if (found->rowCount > 0x7FFFFFFF)
        return kTooLarge;
    try {
        std::wstring rsKey = L"RS" + std::to_wstring(m_nextKey++);
        auto rows = std::make_shared<storage::RowReader>(db->file, *found);
        BSTR out = SysAllocStringLen(rsKey.c_str(), static_cast<UINT>(rsKey.size()));
        if (!out)
            return kOutOfMemory;
        m_recordsets[rsKey] = Recordset{dbKey, db, found, rows};
        *rowCount = static_cast<LONG>(found->rowCount);
        *key = out;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }
    return kOk;
}

LONG Connection::ReadRecord(BSTR database, BSTR key, LONG row, VARIANT* record)
{
    if (!record)
        return kBadArgument;
    VariantInit(record);
    LONG fault;
    if (InjectedFault(L"ReadRecord", row, &fault))
        return fault;
    std::lock_guard<std::mutex> hold(g_shared.lock);
    DropIfStale();
    if (g_shared.stopped)
        return kStopped;
    auto it = m_recordsets.find(Text(key));
    if (it == m_recordsets.end() || it->second.databaseKey != KeyOf(Text(database)))
        return kNoRecordset;
    const storage::TableInfo& table = *it->second.table;
    if (row < 0 || static_cast<uint32_t>(row) >= table.rowCount)
        return kBadRow;
    std::vector<std::u16string> values;
    try {
        storage::ParseResult r = it->second.rows->Read(static_cast<uint32_t>(row), &values);
        if (r != storage::ParseResult::Ok)
            return ToCode(r);
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(table.columns.size()));
    if (!array)
        return kOutOfMemory;
    VARIANT* items = nullptr;
    SafeArrayAccessData(array, reinterpret_cast<void**>(&items));
    for (size_t c = 0; c < table.columns.size(); ++c) {
        // "KEY=" column TAB column number TAB value
        std::wstring item = L"KEY=" + std::wstring(table.columns[c].begin(), table.columns[c].end()) +
                            L"\t" + std::to_wstring(c + 1) + L"\t" +
                            std::wstring(values[c].begin(), values[c].end());
        items[c].vt = VT_BSTR;
        items[c].bstrVal = SysAllocStringLen(item.c_str(), static_cast<UINT>(item.size()));
        if (!items[c].bstrVal) {
            SafeArrayUnaccessData(array);
            SafeArrayDestroy(array);
            return kOutOfMemory;
        }
    }
    SafeArrayUnaccessData(array);
    record->vt = VT_ARRAY | VT_VARIANT;
    record->parray = array;
    return kOk;
}

LONG Connection::CloseRecordset(BSTR, BSTR key)
{
    LONG fault;
    if (InjectedFault(L"CloseRecordset", -1, &fault))
        return fault;
    std::lock_guard<std::mutex> hold(g_shared.lock);
    DropIfStale();
    if (g_shared.stopped)
        return kStopped;
    return m_recordsets.erase(Text(key)) ? kOk : kNoRecordset;
}

LONG Connection::GetDatabaseDriveFreeSpace(LONG* freeMegabytes)
{
    if (!freeMegabytes)
        return kBadArgument;
    *freeMegabytes = 0;
    LONG fault;
    if (InjectedFault(L"GetDatabaseDriveFreeSpace", -1, &fault))
        return fault;
    DWORD overridden = 0;
    if (FreeSpaceOverride(&overridden)) {
        *freeMegabytes = static_cast<LONG>(overridden > 0x7FFFFFFF ? 0x7FFFFFFF : overridden);
        return kOk;
    }
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExW(DataFolder().c_str(), &available, nullptr, nullptr))
        return kFreeSpaceFailed;
    ULONGLONG mb = available.QuadPart / (1024 * 1024);
    *freeMegabytes = static_cast<LONG>(mb > 0x7FFFFFFF ? 0x7FFFFFFF : mb);
    return kOk;
}

LONG Connection::SetServerSystemState(LONG state)
{
    LONG fault;
    if (InjectedFault(L"SetServerSystemState", -1, &fault))
        return fault;
    std::lock_guard<std::mutex> hold(g_shared.lock);
    if (state == kServerStop) {
        // Stopping drops every open database and recordset of every connection.
        g_shared.stopped = true;
        ++g_shared.generation;
        g_shared.users.clear();
        g_shared.loaded.clear();
        DropIfStale();
        return kOk;
    }
    if (state == kServerStart) {
        g_shared.stopped = false;
        return kOk;
    }
    return kBadState;
}

LONG Connection::BackupRestoreDatabase(LONG mode, BSTR database, BSTR path)
{
    LONG fault;
    if (InjectedFault(L"BackupRestoreDatabase", -1, &fault))
        return fault;
    SetExitAfterBytes(ExitAfterBytes());
    std::wstring name = Text(database);
    std::wstring file = Text(path);
    std::lock_guard<std::mutex> hold(g_shared.lock);
    DropIfStale();
    if (g_shared.stopped)
        return kStopped;
    if (mode != kBackupMode && mode != kRestoreMode)
        return kBadMode;
    if (!IsValidDatabaseName(name))
        return kBadName;
    // A client's path is a plain Windows path: at most 259 characters.
    if (file.empty() || file.size() >= MAX_PATH || file.find(L'\0') != std::wstring::npos)
        return kBadPath;
    if (RequireMdfName() && (file.size() < 4 || lstrcmpiW(file.c_str() + file.size() - 4, L".mdf") != 0))
        return kNotMdfName;
    std::wstring databaseFile = DatabaseFile(name);
    std::wstring key = KeyOf(name);

    if (mode == kBackupMode) {
        if (!FileExists(databaseFile))
            return kNoDatabase;
        switch (CopyFileAtomically(databaseFile, file)) {
        case CopyResult::Ok:
            return kOk;
        case CopyResult::SourceUnreadable:
            return kReadFailed;
        case CopyResult::Refused:
        case CopyResult::WriteFailed:
            break;
        }
        return kWriteFailed;
    }

    auto users = g_shared.users.find(key);
    if (users != g_shared.users.end())
        for (const Connection* user : users->second)
            if (user != this)
                return kInUse;
    // The backup's header first; its checksum as it is copied, so that only an intact
    // backup takes the database's place.
    storage::Header header;
    {
        FileSource backup;
        if (!backup.Open(file))
            return kReadFailed;
        storage::ParseResult r = storage::ReadHeader(backup, &header);
        if (r != storage::ParseResult::Ok)
            return ToCode(r);
    }
    PayloadCheck check(header);
    switch (CopyFileAtomically(file, databaseFile, &check)) {
    case CopyResult::Ok:
        break;
    case CopyResult::SourceUnreadable:
        return kReadFailed;
    case CopyResult::Refused:
        return kCorrupt;
    case CopyResult::WriteFailed:
        return kReplaceFailed;
    }
    g_shared.loaded.erase(key);
    return kOk;
}

#define SERVER_RESERVED(n) \
    LONG Connection::Reserved##n() { return kNotImplemented; }
DATABASE_SERVER_RESERVED_SLOTS(SERVER_RESERVED)
#undef SERVER_RESERVED

}  // namespace standin
