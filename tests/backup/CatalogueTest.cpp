// The carried-BOOK catalogue in the backup dialog: what is read, what is reported when a
// read fails, and which shelves and BOOKs the user is shown.
#include "BackupFixture.h"
#include "CarriedOracle.h"

#include <random>

using namespace backuptest;
using namespace testsupport;

namespace {
const std::vector<Shelf> kShelves = {{1, u8"本社工事部"}, {2, u8"東北支店"}, {3, u8"完了工事"}};
const std::vector<Book> kBooks = {
    {101, u8"山田", "BOOK0101", u8"国道改良工事"},
    {102, u8"佐藤", "BOOK0102", u8"ソフト表示板設置工事"},
    {103, u8"鈴木", "BOOK0103", u8"河川護岸工事"},
    {104, u8"高橋", "BOOK0104", u8"市民会館改修工事"},
};
const std::vector<Link> kLinks = {{1, 101}, {1, 102}, {2, 103}, {2, 101}, {3, 104}};
}  // namespace

TEST_F(BackupTest, ShelvesWithCarriedBooksAndTheirBooks)
{
    Catalogue(kShelves, kBooks, kLinks);
    Carried({101, 102, 103});
    std::vector<ComboItem> combo;
    std::vector<ListRow> first, second;
    Run({[&] {
        combo = ComboItems(dialog.Hwnd());
        first = ListRows(dialog.Hwnd());
        SelectShelf(dialog.Hwnd(), 1);
        second = ListRows(dialog.Hwnd());
        return true;
    }});
    // 完了工事 holds no carried-out BOOK; image 0 only for the table's first shelf.
    EXPECT_EQ(std::vector<ComboItem>({{Ansi(u8"本社工事部"), 0, 1}, {Ansi(u8"東北支店"), 1, 2}}), combo);
    EXPECT_EQ(std::vector<ListRow>({{Ansi(u8"国道改良工事"), Ansi(u8"山田"), 2, 101},
                                    {Ansi(u8"ソフト表示板設置工事"), Ansi(u8"佐藤"), 2, 102}}),
              first);
    // A BOOK on two shelves is listed under each; rows follow the book table's order.
    EXPECT_EQ(std::vector<ListRow>({{Ansi(u8"国道改良工事"), Ansi(u8"山田"), 2, 101},
                                    {Ansi(u8"河川護岸工事"), Ansi(u8"鈴木"), 2, 103}}),
              second);
    EXPECT_TRUE(boxes.Shown().empty());
    // Read once, in the order shelves, BOOKs, links; the database closed again.
    std::vector<std::string> opened;
    for (const std::string& call : fake.calls)
        if (call.rfind("Open", 0) == 0 || call.rfind("CloseDatabase", 0) == 0)
            opened.push_back(call);
    EXPECT_EQ(std::vector<std::string>({"OpenDatabase(RariveSystemCommonDB)",
                                        "OpenRecordset(RariveSystemCommonDB,BookShelfTBL)",
                                        "OpenRecordset(RariveSystemCommonDB,BookCommonTBL)",
                                        "OpenRecordset(RariveSystemCommonDB,BookShelfInfoTBL)",
                                        "CloseDatabase(RariveSystemCommonDB)"}),
              opened);
    EXPECT_EQ(fake.recordsetsOpened, fake.recordsetsClosed);
}

TEST_F(BackupTest, WhatCarryInfoSays)
{
    struct Case {
        std::string carryInfo;  // empty: no file
        std::vector<Link> links;
        std::vector<ComboItem> combo;
        std::vector<LPARAM> rows;  // item data of the first shelf's rows
    };
    const std::vector<Link> withZero = {{1, 0}, {2, 104}};
    const Case cases[] = {
        /* 0 */ {"", kLinks, {}, {}},
        /* 1 */ {"[CarryingCommon]\r\nCarryingCnt=0\r\n[CarryingInfo_1]\r\nCarryingBookID=101\r\n", kLinks, {}, {}},
        /* 2 */ {"[CarryingCommon]\r\nCarryingCnt=-1\r\n[CarryingInfo_1]\r\nCarryingBookID=101\r\n", kLinks, {}, {}},
        /* 3 */ {"[CarryingCommon]\r\n[CarryingInfo_1]\r\nCarryingBookID=101\r\n", kLinks, {}, {}},
        // Entry 3 has no section: it stands for BOOK id 0.
        /* 4 */ {"[CarryingCommon]\r\nCarryingCnt=3\r\n[CarryingInfo_1]\r\nCarryingBookID=104\r\n"
                 "[CarryingInfo_2]\r\nCarryingBookID=103\r\n",
                 withZero, {{Ansi(u8"本社工事部"), 0, 1}, {Ansi(u8"東北支店"), 1, 2}}, {0}},
        // A carried BOOK linked to no shelf is listed nowhere; entries above N are ignored.
        /* 5 */ {"[CarryingCommon]\r\nCarryingCnt=1\r\n[CarryingInfo_1]\r\nCarryingBookID=999\r\n"
                 "[CarryingInfo_2]\r\nCarryingBookID=101\r\n",
                 kLinks, {}, {}},
        // Section names are found in any letter case; values are read as profile integers.
        /* 6 */ {"[carryingcommon]\r\ncarryingcnt=2\r\n[CARRYINGINFO_1]\r\ncarryingbookid=103abc\r\n"
                 "[CarryingInfo_2]\r\nCarryingBookID=104\r\n",
                 kLinks, {{Ansi(u8"東北支店"), 1, 2}, {Ansi(u8"完了工事"), 1, 3}}, {103}},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        const Case& c = cases[i];
        RemoveFile(carryInfoPath);
        if (!c.carryInfo.empty())
            CarryInfo(c.carryInfo);
        std::vector<Book> books = kBooks;
        books.push_back({0, u8"無名", "BOOK0000", u8"番号なし"});
        Catalogue(kShelves, books, c.links);
        BookBackupDialog d;
        std::vector<ComboItem> combo;
        std::vector<ListRow> rows;
        Run(d, {[&] {
            combo = ComboItems(d.Hwnd());
            rows = ListRows(d.Hwnd());
            return true;
        }});
        EXPECT_EQ(c.combo, combo);
        std::vector<LPARAM> data;
        for (const ListRow& r : rows)
            data.push_back(r.data);
        EXPECT_EQ(c.rows, data);
    }
}

TEST_F(BackupTest, AFailedReadIsReportedAndLeavesNothing)
{
    struct Case {
        long openResult;
        const wchar_t* missingTable;
        const char* message;
        bool closed;
        long recordsetResult = 0;
    };
    const Case cases[] = {
        /* 0 */ {1002, nullptr, u8"データベースを開くことができませんでした。　-RariveSystemCommonDB -1002", false},
        /* 1 */ {-1, nullptr, u8"データベースを開くことができませんでした。　-RariveSystemCommonDB --1", false},
        /* 2 */ {0, L"BookShelfTBL", u8"本棚情報を取得することができませんでした。　-BookShelfTBL", true},
        /* 3 */ {0, L"BookCommonTBL", u8"本情報を取得することができませんでした。　-BookCommonTBL", true},
        /* 4 */ {0, L"BookShelfInfoTBL", u8"本棚・本情報を取得することができませんでした。　-BookShelfInfoTBL", true},
        // The server gone while the tables load: told as the export and the import tell it.
        /* 5 */ {0, nullptr, u8"データベースへの接続に失敗しました。 -2147023174", false, long(0x800706BA)},
    };
    Carried({101, 102, 103});
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        const Case& c = cases[i];
        FakeDatabaseServer server;
        DatabaseServer* p = &server;
        DatabaseAccess::SetServerSlot(&p);
        std::swap(fake.tables, server.tables);
        Catalogue(kShelves, kBooks, kLinks);
        std::swap(fake.tables, server.tables);
        server.openDatabaseResult = c.openResult;
        server.openRecordsetResult = c.recordsetResult;
        if (c.missingTable)
            server.tables.erase(c.missingTable);
        MessageBoxRecorder shown;
        BookBackupDialog d;
        std::vector<ComboItem> combo;
        std::vector<ListRow> rows;
        CarriedBookCatalogue catalogue = {};
        Run(d, {[&] {
            combo = ComboItems(d.Hwnd());
            rows = ListRows(d.Hwnd());
            catalogue = d.Catalogue();
            return true;
        }});
        ASSERT_EQ(1u, shown.Shown().size());
        EXPECT_EQ(Ansi(c.message), shown.Shown()[0].text) << Utf8(shown.Shown()[0].text);
        EXPECT_EQ(UINT(MB_OK | MB_ICONSTOP), shown.Shown()[0].flags);
        EXPECT_TRUE(combo.empty());
        EXPECT_TRUE(rows.empty());
        EXPECT_EQ(nullptr, catalogue.shelves);
        EXPECT_EQ(nullptr, catalogue.books);
        EXPECT_EQ(nullptr, catalogue.links);
        EXPECT_STREQ("", catalogue.carryInfoPath);
        bool closed = std::find(server.calls.begin(), server.calls.end(), "CloseDatabase(RariveSystemCommonDB)") !=
                      server.calls.end();
        EXPECT_EQ(c.closed, closed);
        EXPECT_EQ(server.recordsetsOpened, server.recordsetsClosed);
        DatabaseAccess::SetServerSlot(&pointer);
    }
}

TEST_F(BackupTest, TheDialogAsTheUserMeetsIt)
{
    Catalogue(kShelves, kBooks, kLinks);
    Carried({101, 102, 103});
    HWND hwnd = nullptr;
    int widthBefore = 0, widthAfter = 0;
    std::vector<int> selectedAfterSwitch, enabledExport, enabledImport;
    size_t rowsAfterShelfChange = 0;
    int selectedAfterShelfChange = 0;
    auto selected = [&] {
        return static_cast<int>(SendDlgItemMessageA(hwnd, IDC_BOOK_LIST, LVM_GETSELECTEDCOUNT, 0, 0));
    };
    auto enabled = [&] {
        std::vector<int> e;
        for (int id : {IDC_SHELF_COMBO, IDC_BOOK_LIST, IDC_EXPORT_FOLDER, IDC_BROWSE_EXPORT, IDC_IMPORT_FILE,
                       IDC_BROWSE_IMPORT, IDOK, IDCANCEL, IDC_MODE_EXPORT, IDC_MODE_IMPORT})
            e.push_back(IsWindowEnabled(GetDlgItem(hwnd, id)) ? 1 : 0);
        return e;
    };
    Run({[&] {
             hwnd = dialog.Hwnd();
             EXPECT_EQ(0, dialog.Mode());
             EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(hwnd, IDC_MODE_EXPORT));
             enabledExport = enabled();
             widthBefore = static_cast<int>(SendDlgItemMessageA(hwnd, IDC_BOOK_LIST, LVM_GETCOLUMNWIDTH, 0, 0));
             SelectRow(hwnd, 1);
             EXPECT_EQ(1, selected());
             // To import and back: the BOOK selection is gone, shelf and list stay.
             PostClick(hwnd, IDC_MODE_IMPORT);
             CheckDlgButton(hwnd, IDC_MODE_IMPORT, BST_CHECKED);
             CheckDlgButton(hwnd, IDC_MODE_EXPORT, BST_UNCHECKED);
             return true;
         },
         [&] {
             if (dialog.Mode() != 1)
                 return false;
             enabledImport = enabled();
             selectedAfterSwitch.push_back(selected());
             CheckDlgButton(hwnd, IDC_MODE_EXPORT, BST_CHECKED);
             CheckDlgButton(hwnd, IDC_MODE_IMPORT, BST_UNCHECKED);
             PostClick(hwnd, IDC_MODE_EXPORT);
             return true;
         },
         [&] {
             if (dialog.Mode() != 0)
                 return false;
             selectedAfterSwitch.push_back(selected());
             SelectRow(hwnd, 0);
             SelectShelf(hwnd, 1);
             rowsAfterShelfChange = ListRows(hwnd).size();
             selectedAfterShelfChange = selected();
             widthAfter = static_cast<int>(SendDlgItemMessageA(hwnd, IDC_BOOK_LIST, LVM_GETCOLUMNWIDTH, 0, 0));
             // Enter with the list focused: "実行", which here finds no destination.
             SetFocus(GetDlgItem(hwnd, IDC_BOOK_LIST));
             PostMessageA(GetDlgItem(hwnd, IDC_BOOK_LIST), WM_KEYDOWN, VK_RETURN, 0);
             return true;
         },
         [&] { return !boxes.Shown().empty(); }});
    EXPECT_EQ(std::vector<int>({1, 1, 1, 1, 0, 0, 1, 1, 1, 1}), enabledExport);
    EXPECT_EQ(std::vector<int>({0, 0, 0, 0, 1, 1, 1, 1, 1, 1}), enabledImport);
    EXPECT_EQ(std::vector<int>({0, 0}), selectedAfterSwitch);
    EXPECT_EQ(2u, rowsAfterShelfChange);
    EXPECT_EQ(0, selectedAfterShelfChange);
    EXPECT_GT(widthBefore, 0);
    EXPECT_EQ(widthBefore, widthAfter);
    ASSERT_EQ(1u, boxes.Shown().size());
    EXPECT_EQ(Ansi(u8"エクスポート先のフォルダが指定されていません。\nフォルダを指定してください。"), boxes.Shown()[0].text);
    EXPECT_EQ(hwnd, boxes.Shown()[0].owner);
    // The window is gone: the catalogue's blocks were freed with it.
    EXPECT_EQ(nullptr, dialog.Catalogue().shelves);
    EXPECT_EQ(nullptr, dialog.Catalogue().books);
    EXPECT_EQ(nullptr, dialog.Catalogue().links);
}

// The fills read CarryInfo.ini once and walk with sets; the entry-by-entry rule reads a
// profile section per candidate link. Both must show the same shelves and BOOKs.
TEST_F(BackupTest, TheFastFillsAgreeWithTheEntryByEntryWalk)
{
    std::mt19937 random(20261207);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::vector<BookShelfRecord> shelves(pick(6) + 1);
        std::vector<BookRecord> books(pick(10) + 1);
        std::vector<ShelfBookLink> links(pick(20));
        for (auto& s : shelves) s = BookShelfRecord{pick(5), {}};
        for (auto& b : books) { b = BookRecord{}; b.T_Index = pick(12) - 1; }
        for (auto& l : links) l = ShelfBookLink{0, pick(6), pick(12) - 1};
        // CarryInfo.ini with odd section names, duplicates, missing keys, junk values.
        int n = pick(6) - 1;
        std::string text = "[CarryingCommon]\r\nCarryingCnt=" + std::to_string(n) + "\r\n";
        const char* names[] = {"CarryingInfo_%d", "carryinginfo_%d", "CARRYINGINFO_%d", "CarryingInfo_0%d",
                               "CarryingInfo_%d ", "CarryingInfo%d", "CarryingInfo_%dx"};
        for (int s = pick(8); s > 0; --s) {
            char section[64];
            std::snprintf(section, sizeof section, names[pick(7)], pick(7));
            text += std::string("[") + section + "]\r\n";
            int kind = pick(4);
            if (kind == 0)
                text += "CarryingBookID=" + std::to_string(pick(12) - 1) + "\r\n";
            else if (kind == 1)
                text += "CarryingBookID=" + std::to_string(pick(12)) + "abc\r\n";
            else if (kind == 2)
                text += "Other=5\r\n";
        }
        CarryInfo(text);
        const char* path = carryInfoPath.c_str();
        CarriedBooks carried = CarriedBooks::Read(path);

        std::vector<long> literalShelves;
        for (long i = 0; i < static_cast<long>(shelves.size()); ++i)
            for (const ShelfBookLink& l : links)
                if (l.BookShelfID == shelves[i].T_Index && IsBookCarriedOutIn(path, l.BookID, n)) {
                    literalShelves.push_back(i);
                    break;
                }
        EXPECT_EQ(literalShelves, ShelvesWithCarriedBooks(shelves.data(), static_cast<long>(shelves.size()),
                                                          links.data(), static_cast<long>(links.size()), carried))
            << text;
        for (int shelfId = -1; shelfId < 6; ++shelfId) {
            std::vector<long> literalBooks;
            for (long i = 0; i < static_cast<long>(books.size()); ++i)
                for (const ShelfBookLink& l : links)
                    if (l.BookShelfID == shelfId && l.BookID == books[i].T_Index && IsBookCarriedOutIn(path, l.BookID, n)) {
                        literalBooks.push_back(i);
                        break;
                    }
            EXPECT_EQ(literalBooks, CarriedBooksOnShelf(books.data(), static_cast<long>(books.size()), links.data(),
                                                        static_cast<long>(links.size()), shelfId, carried))
                << "shelf " << shelfId << "\n" << text;
        }
    }
}
