// DatabaseAccess against the in-process fake: results as callers rely on them, every
// recordset opened is closed, and every BSTR made or received is freed, on every path.
#include "DatabaseAccess.h"
#include "FakeDatabaseServer.h"
#include "Records.h"
#include "ServerConnection.h"
#include "Support.h"
#include "TextConversion.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace testsupport;

namespace {

class Access : public testing::Test {
protected:
    void SetUp() override { DatabaseAccess::SetServerSlot(&pointer); }
    void TearDown() override { DatabaseAccess::SetServerSlot(nullptr); }

    FakeDatabaseServer fake;
    DatabaseServer* pointer = &fake;
    DatabaseAccess access;
};

std::vector<std::wstring> ShelfRow(int index, const std::wstring& name)
{
    return {L"KEY=T_Index\t1\t" + std::to_wstring(index), L"KEY=BookShelfName\t2\t" + name};
}

}  // namespace

TEST(TextConversion, RoundTrips)
{
    const char* texts[] = {u8"", u8"国道改良工事", u8"ｱﾌﾟﾘｹｰｼｮﾝ", u8"工程表ソフト", u8"BOOK0012", u8"混在 ﾃｷｽﾄ and 漢字"};
    for (const char* utf8 : texts) {
        std::string ansi = Ansi(utf8);
        BSTR b = AnsiToBstr(ansi.c_str());
        ASSERT_NE(nullptr, b) << utf8;
        int wlen = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0) - 1;
        EXPECT_EQ(static_cast<UINT>(wlen), SysStringLen(b)) << utf8;
        std::unique_ptr<char[]> back = BstrToAnsi(b);
        ASSERT_TRUE(back);
        EXPECT_EQ(ansi, back.get()) << utf8;
        SysFreeString(b);
    }
    EXPECT_EQ(nullptr, BstrToAnsi(nullptr));
}

TEST_F(Access, WithoutAServer)
{
    DatabaseServer* none = nullptr;
    DatabaseAccess::SetServerSlot(&none);
    BstrSpy spy;
    long before = spy.Live();
    EXPECT_EQ(-1, access.OpenDatabase("RariveSystemCommonDB"));
    EXPECT_EQ(0, access.CloseDatabase("RariveSystemCommonDB"));
    char key[260] = "unchanged";
    long rows = 7;
    EXPECT_EQ(0, access.OpenRecordset("db", "t", key, sizeof key, &rows));
    EXPECT_STREQ("unchanged", key);
    EXPECT_EQ(0, access.CloseRecordset("db", "k"));
    long mb = 99;
    EXPECT_EQ(-1, access.GetDatabaseDriveFreeSpace(&mb));
    EXPECT_EQ(0, mb);
    EXPECT_EQ(-1, access.SetServerSystemState(0));
    EXPECT_EQ(-1, access.BackupRestoreDatabase(0, nullptr, nullptr));
    HGLOBAL block = nullptr;
    EXPECT_EQ(0, access.ReadBookShelfRecords("db", "BookShelfTBL", &block, &rows));
    EXPECT_EQ(nullptr, block);
    EXPECT_EQ(7, rows);
    EXPECT_EQ(before, spy.Live());
}

TEST_F(Access, PassThroughsGiveTheServersCodes)
{
    fake.openDatabaseResult = 1002;
    EXPECT_EQ(1002, access.OpenDatabase("x"));
    fake.closeDatabaseResult = 3;
    EXPECT_EQ(0, access.CloseDatabase("x"));
    fake.freeSpace = 299;
    long mb = 0;
    EXPECT_EQ(0, access.GetDatabaseDriveFreeSpace(&mb));
    EXPECT_EQ(299, mb);
    fake.backupResult = 146;
    EXPECT_EQ(146, access.BackupRestoreDatabase(1, nullptr, nullptr));
    EXPECT_EQ("OpenDatabase(x)", fake.calls[0]);
}

TEST_F(Access, RecordsetKeysThatDoNotFitAreRefusedAndClosed)
{
    struct Case {
        std::wstring key;
        bool nullKey;
        int result;
    };
    const Case cases[] = {
        /* 0 */ {std::wstring(259, L'k'), false, 1},
        /* 1 */ {std::wstring(260, L'k'), false, 0},
        /* 2 */ {std::wstring(129, L'\x8868'), false, 1},   // 表 x129 = 258 bytes
        /* 3 */ {std::wstring(130, L'\x8868'), false, 0},   // 260 bytes
        /* 4 */ {L"", true, 0},
        /* 5 */ {L"RS\x00E9", false, 0},  // "RSé" would be handed back as "RSe"
    };
    fake.tables[L"T"] = {};
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        fake.key = cases[i].key;
        fake.nullKey = cases[i].nullKey;
        fake.recordsetsOpened = fake.recordsetsClosed = 0;
        BstrSpy spy;
        long before = spy.Live();
        char key[260] = "unchanged";
        long rows = -9;
        EXPECT_EQ(cases[i].result, access.OpenRecordset("db", "T", key, sizeof key, &rows));
        if (cases[i].result) {
            EXPECT_EQ(cases[i].key.size(), static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, key, -1, nullptr, 0) - 1));
            EXPECT_EQ(0, rows);
            EXPECT_EQ(1, access.CloseRecordset("db", key));
        } else {
            EXPECT_STREQ("unchanged", key);
            EXPECT_EQ(-9, rows);
        }
        if (!cases[i].nullKey) {
            EXPECT_EQ(fake.recordsetsOpened, fake.recordsetsClosed);
        }
        EXPECT_EQ(before, spy.Live());
    }
}

TEST_F(Access, AFailedOpenStillFreesTheKeyTheServerGave)
{
    fake.openRecordsetResult = 8;
    fake.keyOnFailure = true;
    BstrSpy spy;
    long before = spy.Live();
    char key[260] = "unchanged";
    long rows = 0;
    EXPECT_EQ(0, access.OpenRecordset("db", "T", key, sizeof key, &rows));
    EXPECT_STREQ("unchanged", key);
    EXPECT_EQ(before, spy.Live());
}

TEST_F(Access, EveryPathOutOfAReaderClosesWhatItOpenedAndFreesEveryString)
{
    enum Scenario { Success, Empty, OpenFails, ReadFails, OddRow, CloseFails, TooLarge, Negative };
    struct Case {
        Scenario scenario;
        VARTYPE oddType;
        int result;
        bool blockStored;
        long countStored;  // -100: not stored
    };
    const Case cases[] = {
        /* 0 */ {Success, 0, 1, true, 3},
        /* 1 */ {Empty, 0, 1, false, 0},
        /* 2 */ {OpenFails, 0, 0, false, -100},
        /* 3 */ {ReadFails, 0, 0, true, -100},
        /* 4 */ {OddRow, VT_BSTR, 0, true, -100},
        /* 5 */ {OddRow, VT_ARRAY | VT_BSTR, 0, true, -100},   // an array, but of strings
        /* 6 */ {OddRow, VT_ARRAY | VT_I4, 0, true, -100},
        /* 7 */ {OddRow, VT_ARRAY | VT_R8, 0, true, -100},    // passes the type bits, 8-byte elements
        /* 8 */ {OddRow, VT_EMPTY, 0, true, -100},
        /* 9 */ {CloseFails, 0, 0, true, -100},
        /* 10 */ {TooLarge, 0, 0, false, -100},
        /* 11 */ {Negative, 0, 1, false, -5},
        /* 12 */ {OddRow, VT_ARRAY | VT_DECIMAL, 0, true, -100},  // 16-byte elements: VARIANT-sized in 32 bits
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE("case " + std::to_string(i));
        FakeDatabaseServer server;
        DatabaseServer* p = &server;
        DatabaseAccess::SetServerSlot(&p);
        server.tables[L"BookShelfTBL"] = {ShelfRow(1, L"本社"), ShelfRow(2, L"支店"), ShelfRow(3, L"完了")};
        if (c.scenario == Empty)
            server.tables[L"BookShelfTBL"].clear();
        if (c.scenario == OpenFails)
            server.openRecordsetResult = 4;
        if (c.scenario == ReadFails)
            server.failReadAt = 1;
        if (c.scenario == OddRow) {
            server.oddRowAt = 1;
            server.oddRowType = c.oddType;
        }
        if (c.scenario == CloseFails)
            server.closeRecordsetResult = 9;
        if (c.scenario == TooLarge) {
            server.overrideRowCount = true;
            server.rowCount = 0x7FFFFFFF;
        }
        if (c.scenario == Negative) {
            server.overrideRowCount = true;
            server.rowCount = -5;
        }
        BstrSpy spy;
        long before = spy.Live();
        HGLOBAL block = reinterpret_cast<HGLOBAL>(0x1);  // a reader must not touch it unless it stores
        long count = -100;
        EXPECT_EQ(c.result, access.ReadBookShelfRecords("RariveSystemCommonDB", "BookShelfTBL", &block, &count));
        EXPECT_EQ(c.countStored, count);
        EXPECT_EQ(c.blockStored, block != reinterpret_cast<HGLOBAL>(0x1));
        EXPECT_EQ(server.recordsetsOpened, server.recordsetsClosed);
        EXPECT_EQ(before, spy.Live()) << "strings made or received were not freed";
        if (c.blockStored) {
            EXPECT_EQ(0u, GlobalFlags(block) & GMEM_LOCKCOUNT) << "the block was left locked";
            auto* shelves = static_cast<BookShelfRecord*>(GlobalLock(block));
            EXPECT_EQ(1, shelves[0].T_Index);  // rows before a failure are filled
            EXPECT_EQ(Ansi(u8"本社"), shelves[0].BookShelfName);
            if (c.result) {
                EXPECT_EQ(Ansi(u8"完了"), shelves[2].BookShelfName);
            }
            GlobalUnlock(block);
            GlobalFree(block);
        }
    }
}

TEST_F(Access, RowsWithOddElementsAreReadAroundThem)
{
    fake.tables[L"BookCommonTBL"] = {
        {L"KEY=T_Index\t1\t17", FakeDatabaseServer::kNullItem, FakeDatabaseServer::kIntegerItem,
         L"KEY=SiteName\t4\t国道改良工事", L"KEY=Extra\t9\tignored"},
        {},  // no elements: an all-zero record
        {L"KEY=T_Index\t1\t18", L"KEY=BookName\t3\tBOOK0018"},
    };
    BstrSpy spy;
    long before = spy.Live();
    HGLOBAL block = nullptr;
    long count = 0;
    ASSERT_EQ(1, access.ReadBookRecords("RariveSystemCommonDB", "BookCommonTBL", &block, &count));
    EXPECT_EQ(3, count);
    auto* books = static_cast<BookRecord*>(GlobalLock(block));
    EXPECT_EQ(17, books[0].T_Index);
    EXPECT_EQ(Ansi(u8"国道改良工事"), books[0].SiteName);
    BookRecord zero;
    std::memset(&zero, 0, sizeof zero);
    EXPECT_EQ(0, std::memcmp(&zero, &books[1], sizeof zero));
    EXPECT_STREQ("BOOK0018", books[2].BookName);
    GlobalUnlock(block);
    GlobalFree(block);
    EXPECT_EQ(before, spy.Live());
    // One ReadRecord per row, in order, between one open and one close.
    std::vector<std::string> expected = {
        "OpenRecordset(RariveSystemCommonDB,BookCommonTBL)", "ReadRecord(RariveSystemCommonDB,RS1,0)",
        "ReadRecord(RariveSystemCommonDB,RS1,1)", "ReadRecord(RariveSystemCommonDB,RS1,2)",
        "CloseRecordset(RariveSystemCommonDB,RS1)"};
    EXPECT_EQ(expected, fake.calls);
}

// A call that finds the server gone lets go of the dead server's proxy, and the next call
// connects afresh, once; a failed reconnection answers with its own code and is tried
// again at the call after. A code that only refuses the operation, or a busy server's
// rejection, keeps the connection. Each operation that returns a code notices it.
TEST_F(Access, AServerFoundGoneIsLetGoAndConnectedAfreshOnce)
{
    enum Op { Open, FreeSpace, Backup, State };
    struct Case {
        long code;  // what the old server answers
        bool gone;
        HRESULT reconnect;
        Op op = Open;
    };
    const long kUnavailable = HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE);
    const Case cases[] = {
        /* 0 */ {kUnavailable, true, S_OK},
        /* 1 */ {HRESULT_FROM_WIN32(RPC_S_CALL_FAILED), true, S_OK},
        /* 2 */ {HRESULT_FROM_WIN32(RPC_S_CALL_FAILED_DNE), true, S_OK},
        /* 3 */ {RPC_E_DISCONNECTED, true, S_OK},
        /* 4 */ {RPC_E_SERVER_DIED, true, S_OK},
        /* 5 */ {RPC_E_SERVER_DIED_DNE, true, S_OK},
        /* 6 */ {CO_E_OBJNOTCONNECTED, true, S_OK},
        /* 7 */ {kUnavailable, true, REGDB_E_CLASSNOTREG},
        /* 8 */ {146, false, S_OK},
        /* 9 */ {1002, false, S_OK},
        /* 10 */ {E_FAIL, false, S_OK},
        /* 11 */ {RPC_E_CALL_REJECTED, false, S_OK},  // busy, not gone
        /* 12 */ {kUnavailable, true, S_OK, FreeSpace},
        /* 13 */ {kUnavailable, true, S_OK, Backup},
        /* 14 */ {kUnavailable, true, S_OK, State},
        /* 15 */ {kUnavailable, true, REGDB_E_CLASSNOTREG, FreeSpace},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE("case " + std::to_string(i));
        FakeDatabaseServer old, fresh;
        long* answer[] = {&old.openDatabaseResult, &old.freeSpaceResult, &old.backupResult, &old.stateResult};
        *answer[c.op] = c.code;
        auto call = [&] {
            long mb = 0;
            switch (c.op) {
            case Open:
                return access.OpenDatabase("x");
            case FreeSpace:
                return access.GetDatabaseDriveFreeSpace(&mb);
            case Backup:
                return access.BackupRestoreDatabase(0, nullptr, nullptr);
            case State:
                break;
            }
            return access.SetServerSystemState(0);
        };
        DatabaseServer* slot = &old;
        FakeServerRegistration registration(&fresh, c.reconnect);
        DatabaseAccess::SetServerSlot(&slot);
        const bool connects = c.gone && SUCCEEDED(c.reconnect);
        // A call that provably never reached the server is made once more at once, on a
        // new connection; one that may have run is not.
        const bool retried = c.code == kUnavailable || c.code == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED_DNE) ||
                             c.code == RPC_E_DISCONNECTED || c.code == CO_E_OBJNOTCONNECTED;
        EXPECT_EQ(retried && connects ? 0 : c.code, call());
        EXPECT_EQ(c.gone && !(retried && connects) ? c.code : 0, DatabaseAccess::TakeLostConnection())
            << "the lost connection is told only where the call was not answered";
        EXPECT_EQ(!c.gone ? c.code : connects ? 0 : c.reconnect, call());
        EXPECT_EQ(c.gone ? 0 : 1, old.refs) << "the gone server's proxy is released, a working one kept";
        EXPECT_EQ(connects ? 1 : 0, registration.activations);
        call();
        EXPECT_EQ(connects ? 1 : 0, registration.activations) << "a server that answers is not connected again";
        EXPECT_EQ(c.gone ? (connects ? 1 : retried ? 3 : 2) : 0, registration.attempts)
            << "a failed reconnection is tried again";
        EXPECT_EQ(c.gone ? (connects ? static_cast<DatabaseServer*>(&fresh) : nullptr) : &old, slot);
        DatabaseAccess::SetServerSlot(nullptr);
        if (slot == &fresh)
            ReleaseDatabaseServer(&slot);
    }
}
