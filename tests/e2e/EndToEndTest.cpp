// The main job end to end: the tool's backup dialog, the stand-in server over COM, and
// real files. A carried-out BOOK is exported, changed on the server, and imported back.
#include "BookBackupDialog.h"
#include "DatabaseAccess.h"
#include "ServerConnection.h"
#include "ShellDialogs.h"
#include "StandInData.h"
#include "Storage.h"
#include "Support.h"
#include "WideText.h"
#include "resource.h"

#include <gtest/gtest.h>
#include <shlobj.h>


using namespace testsupport;

namespace {

std::string Data() { return ProgramFolder() + "..\\data"; }
std::string Out() { return TestFolder("out"); }

void WriteDatabase(const std::string& name, const storage::Database& db) { testsupport::WriteDatabase(Data(), name, db); }

storage::Database Book(const char* firstReport)
{
    storage::Database db;
    storage::Table t;
    t.name = u"DailyReportTBL";
    t.columns = {u"T_Index", u"RecordDate", u"Work"};
    t.rows = {{u"1", u"2026/10/01", U16(firstReport)}, {u"2", u"2026/10/02", U16(u8"鉄筋組立\t2.4t")}};
    db.tables.push_back(t);
    return db;
}

std::string g_folder, g_file;
LPITEMIDLIST AnswerFolder(BROWSEINFOA*) { return ILCreateFromPathA(g_folder.c_str()); }
BOOL AnswerFile(OPENFILENAMEW* info)
{
    lstrcpynW(info->lpstrFile, Widen(g_file.c_str()).c_str(), static_cast<int>(info->nMaxFile));
    return TRUE;
}

class EndToEnd : public testing::Test {
protected:
    static void SetUpTestSuite() { RegisterStandInServer(Data()); }
    static void TearDownTestSuite() { UnregisterStandInServer(); }

    static void WriteCatalogue(const char* siteName) { WriteOneBookCatalogue(Data(), siteName); }

    void SetUp() override
    {
        WriteCatalogue(u8"国道改良工事");
        WriteDatabase("BOOK0101", Book(u8"掘削工 120m3"));
        WriteFile(ProgramFolder() + "..\\CarryInfo.ini",
                  "[CarryingCommon]\r\nCarryingCnt=1\r\n[CarryingInfo_1]\r\nCarryingBookID=101\r\n");
        RemoveTree(Out());  // each test starts from an empty destination
        CreateDirectoryA(Out().c_str(), nullptr);
        out = FullPath(Out());
        ASSERT_GE(ConnectDatabaseServer(&server), 0);
        DatabaseAccess::SetServerSlot(&server);
        previousFolder = winui::SetFolderBrowserHandler(AnswerFolder);
        previousFile = winui::SetOpenFileHandler(AnswerFile);
        SetMachineDword("SOFTWARE\\OrvelDatabaseServer", "FreeSpaceMB", 300);
    }
    void TearDown() override
    {
        winui::SetFolderBrowserHandler(previousFolder);
        winui::SetOpenFileHandler(previousFile);
        DatabaseAccess::SetServerSlot(nullptr);
        ReleaseDatabaseServer(&server);
    }

    // Opens the backup dialog, runs one export or import, closes it; the messages shown.
    std::vector<std::string> Execute(bool exporting, int answer = IDOK)
    {
        MessageBoxRecorder boxes;
        boxes.Answer(answer);
        BookBackupDialog dialog;
        std::vector<std::function<bool()>> steps = {
            [&] { return dialog.Hwnd() != nullptr; },
            [&] {
                HWND d = dialog.Hwnd();
                if (exporting) {
                    g_folder = out;
                    PostClick(d, IDC_BROWSE_EXPORT);
                    LVITEMA state = {};
                    state.stateMask = state.state = LVIS_SELECTED;
                    SendDlgItemMessageA(d, IDC_BOOK_LIST, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
                } else {
                    CheckDlgButton(d, IDC_MODE_EXPORT, BST_UNCHECKED);
                    CheckDlgButton(d, IDC_MODE_IMPORT, BST_CHECKED);
                    PostClick(d, IDC_MODE_IMPORT);
                    PostClick(d, IDC_BROWSE_IMPORT);
                }
                PostClick(d, IDOK);
                return true;
            },
            [&] { return !boxes.Shown().empty(); },
            [&] {
                PostMessageA(dialog.Hwnd(), WM_COMMAND, IDCANCEL, 0);
                return true;
            }};
        ModalDriver driver(steps);
        dialog.DoModal();
        EXPECT_TRUE(driver.Finished());
        std::vector<std::string> texts;
        for (const ShownMessage& m : boxes.Shown())
            texts.push_back(Utf8(m.text));
        return texts;
    }

    DatabaseServer* server = nullptr;
    std::string out;
    winui::FolderBrowserHandler previousFolder;
    winui::OpenFileHandler previousFile;
};

}  // namespace

TEST_F(EndToEnd, ExportChangeImportGivesTheBackupBack)
{
    std::string original = ReadFile(Data() + "\\BOOK0101.mdf");
    std::string backup = out + "\\" + Ansi(u8"国道改良工事") + "\\BOOK0101.mdf";
    DeleteFileA(backup.c_str());
    EXPECT_EQ(std::vector<std::string>({u8"BOOKのエクスポートが終了しました。"}), Execute(true));
    EXPECT_EQ(original, ReadFile(backup)) << "the backup is the BOOK's database as the server holds it";

    WriteDatabase("BOOK0101", Book(u8"書き換えた日報"));
    EXPECT_NE(original, ReadFile(Data() + "\\BOOK0101.mdf"));

    g_file = backup;
    EXPECT_EQ(std::vector<std::string>({u8"BOOKのインポートが終了しました。"}), Execute(false));
    EXPECT_EQ(original, ReadFile(Data() + "\\BOOK0101.mdf"));
}

TEST_F(EndToEnd, ABookInUseIsNotRestored)
{
    std::string backup = out + "\\BOOK0101.mdf";
    WriteFile(backup, ReadFile(Data() + "\\BOOK0101.mdf"));
    DatabaseServer* other = nullptr;
    ASSERT_GE(ConnectDatabaseServer(&other), 0);
    BSTR name = SysAllocString(L"BOOK0101");
    LONG handle;
    ASSERT_EQ(0, other->OpenDatabase(name, 0, &handle));
    g_file = backup;
    EXPECT_EQ(std::vector<std::string>({u8"対象のBOOKはアプリケーションで使用中のため、インポートに失敗しました。146"}),
              Execute(false));
    other->CloseDatabase(name);
    SysFreeString(name);
    ReleaseDatabaseServer(&other);
}

TEST_F(EndToEnd, ThreeHundredMegabytesFreeIsEnough)
{
    std::string backup = out + "\\BOOK0101.mdf";
    WriteFile(backup, ReadFile(Data() + "\\BOOK0101.mdf"));
    g_file = backup;
    SetMachineDword("SOFTWARE\\OrvelDatabaseServer", "FreeSpaceMB", 299);
    EXPECT_EQ(std::vector<std::string>({u8"データベースドライブの空き容量が299MBです。\n300MB以上の空き容量を確保して、再度、インポートを行ってください。"}),
              Execute(false));
    SetMachineDword("SOFTWARE\\OrvelDatabaseServer", "FreeSpaceMB", 300);
    EXPECT_EQ(std::vector<std::string>({u8"BOOKのインポートが終了しました。"}), Execute(false));
}

// A BOOK listed under the name "." would have its folder be the destination itself: the
// export takes the database name instead, and nothing else in the destination changes.
TEST_F(EndToEnd, ADisplayNameOfADotNeverEmptiesTheDestination)
{
    WriteCatalogue(".");
    const std::string other = out + "\\" + Ansi(u8"国道改良工事");
    WriteFile(out + "\\memo.txt", "the user's own file");
    CreateDirectoryA(other.c_str(), nullptr);
    WriteFile(other + "\\BOOK0102.mdf", "another BOOK's backup");
    CreateDirectoryA((out + "\\BOOK0101").c_str(), nullptr);
    WriteFile(out + "\\BOOK0101\\BOOK0101.mdf", "an older backup of this BOOK");

    EXPECT_EQ(std::vector<std::string>({u8"「" + Utf8(out) + u8"\\BOOK0101」フォルダが既に存在します。\n上書きしますか？",
                                        u8"BOOKのエクスポートが終了しました。"}),
              Execute(true, IDYES));
    EXPECT_EQ("the user's own file", ReadFile(out + "\\memo.txt"));
    EXPECT_EQ("another BOOK's backup", ReadFile(other + "\\BOOK0102.mdf"));
    EXPECT_EQ(ReadFile(Data() + "\\BOOK0101.mdf"), ReadFile(out + "\\BOOK0101\\BOOK0101.mdf"));
    EXPECT_EQ(std::vector<std::string>({"BOOK0101", "memo.txt", Ansi(u8"国道改良工事")}), FolderEntries(out));
}
