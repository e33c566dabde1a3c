// The backup tests: the carried-BOOK catalogue, the export and import behind the dialog
// and the dialog itself, against the in-process fake server. Here: their shared set-up.
#include "BackupFixture.h"

#include <ostream>

using namespace testsupport;

namespace backuptest {

std::ostream& operator<<(std::ostream& out, const ComboItem& i)
{
    return out << "{" << Utf8(i.text) << ", image " << i.image << ", data " << i.data << "}";
}

std::ostream& operator<<(std::ostream& out, const ListRow& r)
{
    return out << "{" << Utf8(r.name) << ", " << Utf8(r.spot) << ", image " << r.image << ", data " << r.data << "}";
}

std::vector<ComboItem> ComboItems(HWND dialog)
{
    HWND combo = GetDlgItem(dialog, IDC_SHELF_COMBO);
    std::vector<ComboItem> items;
    int count = static_cast<int>(SendMessageA(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char text[256] = "";
        COMBOBOXEXITEMA item = {};
        item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE | CBEIF_LPARAM;
        item.iItem = i;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(combo, CBEM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        EXPECT_EQ(item.iImage, item.iSelectedImage) << "item " << i;
        items.push_back({text, item.iImage, item.lParam});
    }
    return items;
}

std::vector<ListRow> ListRows(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_BOOK_LIST);
    std::vector<ListRow> rows;
    int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char name[256] = "", spot[256] = "";
        LVITEMA item = {};
        item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
        item.iItem = i;
        item.pszText = name;
        item.cchTextMax = sizeof name;
        SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        LVITEMA sub = {};
        sub.iSubItem = 1;
        sub.pszText = spot;
        sub.cchTextMax = sizeof spot;
        SendMessageA(list, LVM_GETITEMTEXTA, i, reinterpret_cast<LPARAM>(&sub));
        rows.push_back({name, spot, item.iImage, item.lParam});
    }
    return rows;
}

void SelectShelf(HWND dialog, int index)
{
    HWND combo = GetDlgItem(dialog, IDC_SHELF_COMBO);
    SendMessageA(combo, CB_SETCURSEL, index, 0);
    // CB_SETCURSEL does not notify; the user's choice does.
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_SHELF_COMBO, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

void SelectRow(HWND dialog, int row)
{
    LVITEMA state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(GetDlgItem(dialog, IDC_BOOK_LIST), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
}

void SwitchMode(HWND dialog, int modeButton)
{
    CheckDlgButton(dialog, IDC_MODE_EXPORT, modeButton == IDC_MODE_EXPORT ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_MODE_IMPORT, modeButton == IDC_MODE_IMPORT ? BST_CHECKED : BST_UNCHECKED);
    PostClick(dialog, modeButton);
}

void BackupTest::SetUp()
{
    DatabaseAccess::SetServerSlot(&pointer);
    RemoveFile(carryInfoPath);
}

void BackupTest::TearDown()
{
    DatabaseAccess::SetServerSlot(nullptr);
    RemoveFile(carryInfoPath);
}

void BackupTest::Catalogue(const std::vector<Shelf>& shelves, const std::vector<Book>& books,
                           const std::vector<Link>& links)
{
    auto wide = [](const std::string& utf8) {
        int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
        std::wstring w(n, L'\0');
        MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &w[0], n);
        w.resize(n - 1);
        return w;
    };
    auto& shelfRows = fake.tables[L"BookShelfTBL"];
    shelfRows.clear();
    for (const Shelf& s : shelves)
        shelfRows.push_back({L"KEY=T_Index\t1\t" + std::to_wstring(s.id), L"KEY=BookShelfName\t2\t" + wide(s.name)});
    auto& bookRows = fake.tables[L"BookCommonTBL"];
    bookRows.clear();
    for (const Book& b : books)
        bookRows.push_back({L"KEY=T_Index\t1\t" + std::to_wstring(b.id), L"KEY=Spot\t2\t" + wide(b.spot),
                            L"KEY=BookName\t3\t" + wide(b.bookName), L"KEY=SiteName\t4\t" + wide(b.siteName),
                            L"KEY=StartDate\t5\t2026/04/01", L"KEY=EndDate\t6\t2027/03/31"});
    auto& linkRows = fake.tables[L"BookShelfInfoTBL"];
    linkRows.clear();
    int n = 1;
    for (const Link& l : links)
        linkRows.push_back({L"KEY=T_Index\t1\t" + std::to_wstring(n++), L"KEY=BookShelfID\t2\t" + std::to_wstring(l.shelfId),
                            L"KEY=BookID\t3\t" + std::to_wstring(l.bookId)});
}

void BackupTest::CarryInfo(const std::string& content) { WriteFile(carryInfoPath, content); }

void BackupTest::Carried(const std::vector<int>& bookIds)
{
    std::string text = "[CarryingCommon]\r\nCarryingCnt=" + std::to_string(bookIds.size()) + "\r\n";
    for (size_t k = 0; k < bookIds.size(); ++k)
        text += "[CarryingInfo_" + std::to_string(k + 1) + "]\r\nCarryingBookID=" + std::to_string(bookIds[k]) + "\r\n";
    CarryInfo(text);
}

void BackupTest::Run(BookBackupDialog& d, std::vector<std::function<bool()>> steps)
{
    steps.insert(steps.begin(), [&d] { return d.Hwnd() != nullptr; });
    steps.push_back([&d] {
        PostMessageA(d.Hwnd(), WM_COMMAND, IDCANCEL, 0);
        return true;
    });
    ModalDriver driver(steps);
    d.DoModal();
    EXPECT_TRUE(driver.Finished()) << "the dialog closed before the test's steps were done";
}

}  // namespace backuptest
