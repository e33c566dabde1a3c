// The stand-in server over real COM, reached with the tool's own connect step: text
// and values round-trip exactly, backups are faithful and atomic, restores refuse
// damaged files and BOOKs in use, stop drops what clients held, names are checked,
// and the process ends after the last release.
#include "DatabaseAccess.h"
#include "ErrorCodes.h"
#include "Records.h"
#include "ServerConnection.h"
#include "ServerIds.h"
#include "StandInData.h"
#include "Storage.h"
#include "Support.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <fstream>
#include <iterator>

using namespace testsupport;

namespace {

std::wstring Wide(const std::string& utf8)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring w(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &w[0], n);
    w.resize(n > 0 ? n - 1 : 0);
    return w;
}

std::string DataFolder() { return ProgramFolder() + "..\\data\\"; }

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

void WriteDatabase(const std::string& name, const storage::Database& db)
{
    testsupport::WriteDatabase(ProgramFolder() + "..\\data", name, db);
}

// A client connection, as the tool makes it.
struct Client {
    DatabaseServer* server = nullptr;
    HRESULT hr;
    Client() { hr = ConnectDatabaseServer(&server); }
    ~Client() { ReleaseDatabaseServer(&server); }
};

struct Bstr {
    BSTR s;
    explicit Bstr(const std::wstring& w) : s(SysAllocStringLen(w.c_str(), static_cast<UINT>(w.size()))) {}
    explicit Bstr(const char* utf8) : Bstr(Wide(utf8)) {}
    ~Bstr() { SysFreeString(s); }
    operator BSTR() const { return s; }
};

class ServerEnvironment : public testing::Environment {
    void SetUp() override { RegisterStandInServer(DataFolder()); }
    void TearDown() override { UnregisterStandInServer(); }
};
testing::Environment* const g_env = testing::AddGlobalTestEnvironment(new ServerEnvironment);

storage::Database SiteBook()
{
    storage::Database db;
    storage::Table t;
    t.name = u"BookCommonTBL";
    t.columns = {u"T_Index", u"Spot", u"BookName", u"SiteName", u"StartDate", u"EndDate"};
    t.rows.push_back({u"1", U16(u8"現場A"), u"BOOK0012", U16(u8"国道改良工事"), u"2026/04/01", u"2027/03/31"});
    t.rows.push_back({u"2", U16(u8"ｿﾌﾄ表\tタブ入り"), u"BOOK0013", U16(u8"行\r\n改行"), u"", u""});
    db.tables.push_back(t);
    return db;
}

std::vector<std::wstring> ReadRow(DatabaseServer* server, BSTR db, BSTR key, LONG row, LONG* rc)
{
    VARIANT v;
    VariantInit(&v);
    *rc = server->ReadRecord(db, key, row, &v);
    std::vector<std::wstring> items;
    if (*rc == 0) {
        EXPECT_EQ(VT_ARRAY | VT_VARIANT, v.vt);
        VARIANT* data;
        SafeArrayAccessData(v.parray, reinterpret_cast<void**>(&data));
        for (ULONG i = 0; i < v.parray->rgsabound[0].cElements; ++i) {
            EXPECT_EQ(VT_BSTR, data[i].vt);
            items.emplace_back(data[i].bstrVal, SysStringLen(data[i].bstrVal));
        }
        SafeArrayUnaccessData(v.parray);
    }
    VariantClear(&v);
    return items;
}

}  // namespace

TEST(ServerCom, JapaneseTextAndTabsRoundTripExactly)
{
    WriteDatabase("BOOK_RT", SiteBook());
    Client c;
    ASSERT_GE(c.hr, 0);
    Bstr db("BOOK_RT"), table("BookCommonTBL");
    LONG handle = -1;
    ASSERT_EQ(0, c.server->OpenDatabase(db, 0, &handle));
    LONG rows = -1;
    BSTR key = nullptr;
    ASSERT_EQ(0, c.server->OpenRecordset(db, table, 0, &rows, &key));
    ASSERT_NE(nullptr, key);
    EXPECT_EQ(2, rows);
    LONG rc;
    std::vector<std::wstring> row1 = ReadRow(c.server, db, key, 1, &rc);
    ASSERT_EQ(0, rc);
    std::vector<std::wstring> expected = {
        L"KEY=T_Index\t1\t2", Wide(u8"KEY=Spot\t2\tｿﾌﾄ表\tタブ入り"), L"KEY=BookName\t3\tBOOK0013",
        Wide(u8"KEY=SiteName\t4\t行\r\n改行"), L"KEY=StartDate\t5\t", L"KEY=EndDate\t6\t"};
    EXPECT_EQ(expected, row1);
    EXPECT_EQ(Wide(u8"KEY=SiteName\t4\t国道改良工事"), ReadRow(c.server, db, key, 0, &rc)[3]);
    EXPECT_EQ(0, c.server->CloseRecordset(db, key));
    SysFreeString(key);
    EXPECT_EQ(0, c.server->CloseDatabase(db));
}

TEST(ServerCom, AThousandRowsReadBackRowByRow)
{
    storage::Database big;
    storage::Table t;
    t.name = u"BookShelfInfoTBL";
    t.columns = {u"T_Index", u"BookShelfID", u"BookID"};
    for (int i = 0; i < 1000; ++i)
        t.rows.push_back({U16(std::to_string(i)), U16(std::to_string(i % 7)), U16(std::to_string(1000 - i))});
    big.tables.push_back(t);
    WriteDatabase("BOOK_1000", big);
    Client c;
    ASSERT_GE(c.hr, 0) << "no connection to the stand-in";
    Bstr db("BOOK_1000"), table("BookShelfInfoTBL");
    LONG handle;
    ASSERT_EQ(0, c.server->OpenDatabase(db, 0, &handle));
    LONG rows = 0;
    BSTR key = nullptr;
    ASSERT_EQ(0, c.server->OpenRecordset(db, table, 0, &rows, &key));
    ASSERT_EQ(1000, rows);
    for (LONG r = 0; r < rows; ++r) {
        LONG rc;
        std::vector<std::wstring> items = ReadRow(c.server, db, key, r, &rc);
        ASSERT_EQ(0, rc) << "row " << r;
        ASSERT_EQ(L"KEY=BookID\t3\t" + std::to_wstring(1000 - r), items[2]) << "row " << r;
    }
    LONG rc;
    ReadRow(c.server, db, key, 1000, &rc);
    EXPECT_EQ(kBadRow, rc);
    ReadRow(c.server, db, key, -1, &rc);
    EXPECT_EQ(kBadRow, rc);
    EXPECT_EQ(0, c.server->CloseRecordset(db, key));
    SysFreeString(key);
}

TEST(ServerCom, UnknownThingsGiveCodesNotCrashes)
{
    WriteDatabase("BOOK_RT", SiteBook());
    Client c;
    ASSERT_GE(c.hr, 0) << "no connection to the stand-in";
    Bstr db("BOOK_RT"), missing("NoSuchBook"), table("NoSuchTBL"), key("RS999");
    LONG handle, rows;
    BSTR out = nullptr;
    EXPECT_EQ(kNoDatabase, c.server->OpenDatabase(missing, 0, &handle));
    EXPECT_EQ(kNotOpen, c.server->OpenRecordset(db, table, 0, &rows, &out));
    ASSERT_EQ(0, c.server->OpenDatabase(db, 0, &handle));
    EXPECT_EQ(kNoTable, c.server->OpenRecordset(db, table, 0, &rows, &out));
    EXPECT_EQ(nullptr, out);
    LONG rc;
    ReadRow(c.server, db, key, 0, &rc);
    EXPECT_EQ(kNoRecordset, rc);
    EXPECT_EQ(kNoRecordset, c.server->CloseRecordset(db, key));
    EXPECT_EQ(kNotImplemented, c.server->Reserved03());
    EXPECT_EQ(kNotOpen, c.server->CloseDatabase(missing));
    EXPECT_EQ(0, c.server->CloseDatabase(db));
}

TEST(ServerCom, BackupThenRestoreGivesTheOriginalBack)
{
    WriteDatabase("BOOK_BR", SiteBook());
    std::vector<uint8_t> original = ReadBytes(DataFolder() + "BOOK_BR.mdf");
    std::string backupDir = DataFolder() + "..\\backup-" + Ansi(u8"国道改良工事");
    CreateDirectoryA(backupDir.c_str(), nullptr);
    std::string backup = backupDir + "\\BOOK_BR.mdf";
    RemoveFile(backup);
    Client c;
    ASSERT_GE(c.hr, 0) << "no connection to the stand-in";
    EXPECT_EQ(0, c.server->BackupRestoreDatabase(0, Bstr("BOOK_BR"), Bstr(Wide(Utf8(backup)))));
    EXPECT_EQ(original, ReadBytes(backup));

    // The BOOK changes on the server; the restore brings the backup back.
    storage::Database changed = SiteBook();
    changed.tables[0].rows.pop_back();
    WriteDatabase("BOOK_BR", changed);
    EXPECT_NE(original, ReadBytes(DataFolder() + "BOOK_BR.mdf"));
    EXPECT_EQ(0, c.server->BackupRestoreDatabase(1, Bstr("BOOK_BR"), Bstr(Wide(Utf8(backup)))));
    EXPECT_EQ(original, ReadBytes(DataFolder() + "BOOK_BR.mdf"));
    // No temporary file is left beside either.
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((backupDir + "\\*.tmp*").c_str(), &found);
    EXPECT_EQ(INVALID_HANDLE_VALUE, h);
    if (h != INVALID_HANDLE_VALUE)
        FindClose(h);
}

TEST(ServerCom, DamagedBackupsAreRefusedAndTheBookIsUnchanged)
{
    WriteDatabase("BOOK_DMG", SiteBook());
    std::vector<uint8_t> original = ReadBytes(DataFolder() + "BOOK_DMG.mdf");
    std::vector<uint8_t> flipped = original, truncated = original, extended = original;
    flipped[flipped.size() / 2] ^= 0x40;
    truncated.resize(truncated.size() - 3);
    extended.push_back(0);
    const std::string text = "not a database at all";
    struct Case {
        std::vector<uint8_t> bytes;
        long expected;
    };
    const Case cases[] = {
        /* 0 */ {flipped, kCorrupt},
        /* 1 */ {truncated, kCorrupt},
        /* 2 */ {extended, kCorrupt},
        /* 3 */ {std::vector<uint8_t>(text.begin(), text.end()), kNotADatabase},
        /* 4 */ {{}, kNotADatabase},
    };
    Client c;
    ASSERT_GE(c.hr, 0) << "no connection to the stand-in";
    std::string bad = DataFolder() + "..\\damaged.mdf";
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        WriteBytes(bad, cases[i].bytes);
        EXPECT_EQ(cases[i].expected, c.server->BackupRestoreDatabase(1, Bstr("BOOK_DMG"), Bstr(Wide(Utf8(bad)))));
        EXPECT_EQ(original, ReadBytes(DataFolder() + "BOOK_DMG.mdf"));
    }
    EXPECT_EQ(kReadFailed, c.server->BackupRestoreDatabase(1, Bstr("BOOK_DMG"), Bstr(L"C:\\no\\such.mdf")));
}

TEST(ServerCom, BackupsThatCannotBeWrittenLeaveNothing)
{
    WriteDatabase("BOOK_W", SiteBook());
    Client c;
    ASSERT_GE(c.hr, 0) << "no connection to the stand-in";
    EXPECT_EQ(kWriteFailed,
              c.server->BackupRestoreDatabase(0, Bstr("BOOK_W"), Bstr(L"C:\\no-such-folder\\BOOK_W.mdf")));
    EXPECT_EQ(kNoDatabase, c.server->BackupRestoreDatabase(0, Bstr("NoSuchBook"), Bstr(L"C:\\x.mdf")));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\x.mdf"));
    EXPECT_EQ(kBadPath, c.server->BackupRestoreDatabase(0, Bstr("BOOK_W"), Bstr(L"")));
    EXPECT_EQ(kBadMode, c.server->BackupRestoreDatabase(2, Bstr("BOOK_W"), Bstr(L"C:\\x.mdf")));
}

TEST(ServerCom, RestoreWhileAnotherConnectionHoldsTheBookIs146)
{
    WriteDatabase("BOOK_USE", SiteBook());
    std::string backup = DataFolder() + "..\\BOOK_USE.mdf";
    WriteBytes(backup, ReadBytes(DataFolder() + "BOOK_USE.mdf"));
    Client holder, restorer;
    LONG handle;
    ASSERT_EQ(0, holder.server->OpenDatabase(Bstr("book_use"), 0, &handle));  // names ignore case
    EXPECT_EQ(kInUse, restorer.server->BackupRestoreDatabase(1, Bstr("BOOK_USE"), Bstr(Wide(Utf8(backup)))));
    // A backup of a BOOK in use is still a consistent copy.
    EXPECT_EQ(0, restorer.server->BackupRestoreDatabase(0, Bstr("BOOK_USE"), Bstr(Wide(Utf8(backup)))));
    ASSERT_EQ(0, holder.server->CloseDatabase(Bstr("BOOK_USE")));
    EXPECT_EQ(0, restorer.server->BackupRestoreDatabase(1, Bstr("BOOK_USE"), Bstr(Wide(Utf8(backup)))));
}

TEST(ServerCom, StopDropsOpenHandlesUntilStarted)
{
    WriteDatabase("BOOK_STOP", SiteBook());
    Client c, other;
    Bstr db("BOOK_STOP"), table("BookCommonTBL");
    LONG handle, rows;
    BSTR key = nullptr;
    ASSERT_EQ(0, c.server->OpenDatabase(db, 0, &handle));
    ASSERT_EQ(0, c.server->OpenRecordset(db, table, 0, &rows, &key));
    ASSERT_EQ(0, other.server->OpenDatabase(db, 0, &handle));

    EXPECT_EQ(0, c.server->SetServerSystemState(0));
    LONG rc;
    ReadRow(c.server, db, key, 0, &rc);
    EXPECT_EQ(kStopped, rc);
    EXPECT_EQ(kStopped, other.server->OpenDatabase(db, 0, &handle));
    EXPECT_EQ(0, c.server->SetServerSystemState(1));

    ReadRow(c.server, db, key, 0, &rc);
    EXPECT_EQ(kNoRecordset, rc);
    EXPECT_EQ(kNotOpen, c.server->CloseDatabase(db));
    // The other client's hold is gone too: the BOOK can be restored.
    std::string backup = DataFolder() + "..\\BOOK_STOP.mdf";
    WriteBytes(backup, ReadBytes(DataFolder() + "BOOK_STOP.mdf"));
    EXPECT_EQ(0, c.server->BackupRestoreDatabase(1, db, Bstr(Wide(Utf8(backup)))));
    EXPECT_EQ(kBadState, c.server->SetServerSystemState(7));
    SysFreeString(key);
}

TEST(ServerCom, NamesThatLeaveTheDataFolderAreRefused)
{
    Client c;
    ASSERT_GE(c.hr, 0) << "no connection to the stand-in";
    const std::wstring names[] = {
        L"..\\BOOK", L"a\\b", L"a/b", L"C:BOOK", L"..", L"", std::wstring(129, L'x'), L"CON", L"nul.txt",
        L"BOOK.", L"a*b", L"tab\tname",
    };
    for (const std::wstring& name : names) {
        SCOPED_TRACE(Utf8(Ansi("")) + std::to_string(name.size()) + " chars");
        LONG handle;
        EXPECT_EQ(kBadName, c.server->OpenDatabase(Bstr(name), 0, &handle));
        EXPECT_EQ(kBadName, c.server->BackupRestoreDatabase(1, Bstr(name), Bstr(L"C:\\any.mdf")));
        EXPECT_EQ(kBadName, c.server->BackupRestoreDatabase(0, Bstr(name), Bstr(L"C:\\any.mdf")));
    }
    LONG handle;
    EXPECT_EQ(kNoDatabase, c.server->OpenDatabase(Bstr(std::wstring(128, L'x')), 0, &handle));
}

TEST(ServerCom, FreeSpaceOfTheDataDrive)
{
    Client c;
    ASSERT_GE(c.hr, 0) << "no connection to the stand-in";
    LONG mb = -1;
    SetMachineDword("SOFTWARE\\OrvelDatabaseServer", "FreeSpaceMB", 299);
    EXPECT_EQ(0, c.server->GetDatabaseDriveFreeSpace(&mb));
    EXPECT_EQ(299, mb);
    HKEY key;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\OrvelDatabaseServer", 0, KEY_WRITE | KEY_WOW64_32KEY, &key);
    RegDeleteValueA(key, "FreeSpaceMB");
    RegCloseKey(key);
    EXPECT_EQ(0, c.server->GetDatabaseDriveFreeSpace(&mb));
    EXPECT_GT(mb, 0);
}

// The tool's own reader over real COM: the catalogue's table as the tool sees it.
TEST(ServerCom, TheToolReadsATableThroughDatabaseAccess)
{
    storage::Database common;
    storage::Table shelves;
    shelves.name = u"BookShelfTBL";
    shelves.columns = {u"T_Index", u"BookShelfName", u"Note"};
    shelves.rows = {{u"1", U16(u8"本社工事部"), u"x"}, {u"2", U16(u8"ソフト表\t棚"), u""}};
    common.tables.push_back(shelves);
    WriteDatabase("RariveSystemCommonDB", common);
    Client c;
    ASSERT_GE(c.hr, 0);
    DatabaseAccess::SetServerSlot(&c.server);
    DatabaseAccess access;
    ASSERT_EQ(0, access.OpenDatabase("RariveSystemCommonDB"));
    HGLOBAL block = nullptr;
    long count = 0;
    ASSERT_EQ(1, access.ReadBookShelfRecords("RariveSystemCommonDB", "BookShelfTBL", &block, &count));
    ASSERT_EQ(2, count);
    auto* records = static_cast<BookShelfRecord*>(GlobalLock(block));
    EXPECT_EQ(1, records[0].T_Index);
    EXPECT_EQ(Ansi(u8"本社工事部"), records[0].BookShelfName);
    EXPECT_EQ(Ansi(u8"ソフト表\t棚"), records[1].BookShelfName);
    GlobalUnlock(block);
    GlobalFree(block);
    EXPECT_EQ(1, access.CloseDatabase("RariveSystemCommonDB"));
    DatabaseAccess::SetServerSlot(nullptr);
}

// Last: the server process goes away once nothing holds an object of it.
TEST(ServerCom, ZzTheServerEndsAfterTheLastRelease)
{
    {
        Client c;
        ASSERT_GE(c.hr, 0);
        EXPECT_EQ(1, ServerProcesses());
    }
    EXPECT_TRUE(WaitForNoServerProcess()) << "the server is still running 20 s after the last release";
}
