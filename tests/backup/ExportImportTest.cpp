// Export and import as the backup dialog presents them, against the in-process fake
// server: the texts for each check and outcome, byte for byte, and the dialog's own
// part (browsing, the question, the mode). What the transfers do on disk is tested
// without the dialog (TransferTest.cpp).
#include "BackupFixture.h"
#include "FileSystem.h"
#include "WideText.h"

#include <shlobj.h>

using namespace backuptest;
using namespace testsupport;

namespace {

std::string g_folderAnswer;
std::string g_fileAnswer;
HWND g_fileDialogOwner, g_runningDialog;

LPITEMIDLIST AnswerFolder(BROWSEINFOA*) { return ILCreateFromPathA(g_folderAnswer.c_str()); }

std::wstring g_wideFileAnswer;  // a file the code page cannot spell, instead

BOOL AnswerFile(OPENFILENAMEW* info)
{
    g_fileDialogOwner = info->hwndOwner;
    g_runningDialog = winui::Dialog::ActiveModalWindow();
    const std::wstring answer = g_wideFileAnswer.empty() ? Widen(g_fileAnswer.c_str()) : g_wideFileAnswer;
    lstrcpynW(info->lpstrFile, answer.c_str(), static_cast<int>(info->nMaxFile));
    return TRUE;
}

const std::vector<Shelf> kShelves = {{1, u8"本社工事部"}};
const std::vector<Book> kBooks = {{101, u8"山田", "BOOK0101", u8"国道改良工事"}};
const std::vector<Link> kLinks = {{1, 101}};

class ExportImport : public BackupTest {
protected:
    void SetUp() override
    {
        BackupTest::SetUp();
        Catalogue(kShelves, kBooks, kLinks);
        Carried({101});
        fake.writeBackups = true;
        RemoveTree(out);
        CreateDirectoryA(out.c_str(), nullptr);
        out = FullPath(out);
        previousFolder = winui::SetFolderBrowserHandler(AnswerFolder);
        previousFile = winui::SetOpenFileHandler(AnswerFile);
        g_wideFileAnswer.clear();
    }
    void TearDown() override
    {
        winui::SetFolderBrowserHandler(previousFolder);
        winui::SetOpenFileHandler(previousFile);
        BackupTest::TearDown();
    }

    // One "実行" in export mode: destination picked in the browser, rows selected; done
    // once a message has come.
    static std::vector<std::function<bool()>> Export(BookBackupDialog& d, const MessageBoxRecorder& shown,
                                                     const std::string& destination, std::vector<int> rows)
    {
        return {[&d, destination] {
                    g_folderAnswer = destination;
                    if (!destination.empty())
                        PostClick(d.Hwnd(), IDC_BROWSE_EXPORT);
                    return true;
                },
                [&d, rows] {
                    for (int r : rows)
                        SelectRow(d.Hwnd(), r);
                    PostClick(d.Hwnd(), IDOK);
                    return true;
                },
                [&shown] { return !shown.Shown().empty(); }};
    }

    std::string out = TestFolder("out");
    winui::FolderBrowserHandler previousFolder;
    winui::OpenFileHandler previousFile;
};

}  // namespace

TEST_F(ExportImport, ExportWritesTheBackupUnderTheSiteName)
{
    Run(Export(dialog, boxes, out, {0}));
    std::string file = out + "\\" + Ansi(u8"国道改良工事") + "\\BOOK0101.mdf";
    EXPECT_EQ("BOOK0101 backup #1", ReadFile(file));
    // The server writes into the export's own folder inside the BOOK folder, which then
    // goes: the new backup alone is left.
    const std::string folder = out + "\\" + Ansi(u8"国道改良工事");
    EXPECT_EQ("BackupRestoreDatabase(0,BOOK0101," + folder + "\\.n1\\BOOK0101.mdf)", fake.calls.back());
    EXPECT_EQ(std::vector<std::string>({"BOOK0101.mdf"}), FolderEntries(folder));
}

// The texts the user sees for each check and outcome, byte for byte.
TEST(BackupNotices, WhatTheUserIsTold)
{
    const std::string dest = "E:\\backup";
    const std::string file = Ansi(u8"E:\\backup\\国道改良工事\\BOOK0101.mdf");
    const std::string site = Ansi(u8"国道改良工事");
    struct Case {
        Notice notice;
        std::string text;  // UTF-8
        UINT flags;
    };
    const Case cases[] = {
        /* 0 */ {DestinationNotice(DestinationCheck::Missing, ""),
                 u8"エクスポート先のフォルダが指定されていません。\nフォルダを指定してください。", MB_OK},
        /* 1 */ {DestinationNotice(DestinationCheck::NotAFolder, dest), u8"エクスポート先の指定が正しくありません。\n指定し直してください。", MB_OK},
        /* 2 */ {DestinationNotice(DestinationCheck::NetHood, "C:\\NetHood"),
                 u8"「C:\\NetHood」フォルダにはエクスポートできません。\n指定し直してください。", MB_OK},
        /* 3 */ {DestinationNotice(DestinationCheck::NoBookSelected, dest),
                 u8"エクスポートするBOOKが選択されていません。\nBOOKを選択してください。", MB_OK},
        /* 4 */ {DestinationNotice(DestinationCheck::Unusable, dest),
                 u8"指定されたフォルダは適切ではありません。（使用できないフォルダです。）\n再度設定してください。", MB_OK},
        /* 5 */ {DestinationNotice(DestinationCheck::FixedDriveRoot, "C:\\"), u8"ドライブを指定することはできません。\n再度設定してください。", MB_OK},
        /* 6 */ {DestinationNotice(DestinationCheck::Ok, dest), "", MB_OK},
        /* 7 */ {ExportNotice({ExportOutcome::Exported, 0, ""}, site), "", MB_OK},
        /* 8 */ {ExportNotice({ExportOutcome::Skipped, 0, ""}, site), "", MB_OK},
        /* 9 */ {ExportNotice({ExportOutcome::Declined, 0, ""}, site), u8"「国道改良工事」のエクスポートを中止します。", MB_OK},
        /* 10 */ {ExportNotice({ExportOutcome::Failed, 1010, ""}, site), u8"「国道改良工事」のエクスポートに失敗しました。1010",
                  MB_OK | MB_ICONSTOP},
        /* 11 */ {ExportNotice({ExportOutcome::NotReplaced, 5, ""}, site),
                  u8"「国道改良工事」のバックアップを置き換えられませんでした。5\n前のバックアップはそのまま残っています。",
                  MB_OK | MB_ICONSTOP},
        /* 12 */ {ExportNotice({ExportOutcome::NewLeftInExportFolder, 161, file}, site),
                  u8"「国道改良工事」のエクスポートに失敗しました。161\n新しいバックアップは「E:\\backup\\国道改良工事\\BOOK0101.mdf」にあります。",
                  MB_OK | MB_ICONSTOP},
        /* 13 */ {ImportNotice({ImportOutcome::Restored, 0}, file), u8"BOOKのインポートが終了しました。", MB_OK | MB_ICONINFORMATION},
        /* 14 */ {ImportNotice({ImportOutcome::BadSource, 0}, ""), u8"インポート元の指定が正しくありません。\n指定し直してください。", MB_OK},
        /* 15 */ {ImportNotice({ImportOutcome::LowSpace, 299}, file),
                  u8"データベースドライブの空き容量が299MBです。\n300MB以上の空き容量を確保して、再度、インポートを行ってください。", MB_OK},
        /* 16 */ {ImportNotice({ImportOutcome::NoDatabase, 0}, file),
                  u8"指定したファイルのバックアップ元データベースが存在しません。\n指定し直してください。", MB_OK},
        /* 17 */ {ImportNotice({ImportOutcome::Unusable, 0}, file),
                  u8"指定されたフォルダは適切ではありません。（使用できないフォルダです。）\n再度設定してください。", MB_OK},
        /* 18 */ {ImportNotice({ImportOutcome::InUse, 146}, file), u8"対象のBOOKはアプリケーションで使用中のため、インポートに失敗しました。146",
                  MB_OK | MB_ICONSTOP},
        /* 19 */ {ImportNotice({ImportOutcome::Failed, 1013}, file),
                  u8"「E:\\backup\\国道改良工事\\BOOK0101.mdf」のインポートに失敗しました。1013", MB_OK | MB_ICONSTOP},
        /* 20 */ {ImportNotice({ImportOutcome::NoFreeSpaceFigure, 1018}, file),
                  u8"「E:\\backup\\国道改良工事\\BOOK0101.mdf」のインポートに失敗しました。1018", MB_OK | MB_ICONSTOP},
        /* 21 */ {ExportNotice({ExportOutcome::NotEmptied, 5, ""}, site), u8"「国道改良工事」のエクスポートに失敗しました。5",
                  MB_OK | MB_ICONSTOP},
        /* 22 */ {ExportNotice({ExportOutcome::ExportFoldersTaken, 80, "E:\\backup\\" + Ansi(u8"国道改良工事")}, site),
                  u8"「国道改良工事」のエクスポートに失敗しました。80\n「E:\\backup\\国道改良工事」フォルダの中の「.n1」～「.n9」"
                  u8"フォルダを確かめ、不要なものを削除してから、再度エクスポートしてください。",
                  MB_OK | MB_ICONSTOP},
        /* 23 */ {ExportNotice({ExportOutcome::FailedLeftover, 1010, "E:\\backup\\" + Ansi(u8"国道改良工事\\.n1")}, site),
                  u8"「国道改良工事」のエクスポートに失敗しました。1010\n書きかけのファイルが「E:\\backup\\国道改良工事\\.n1」"
                  u8"フォルダに残っています。バックアップではありませんので、削除してください。",
                  MB_OK | MB_ICONSTOP},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        EXPECT_EQ(Ansi(cases[i].text.c_str()), cases[i].notice.text) << "case " << i << ": " << Utf8(cases[i].notice.text);
        EXPECT_EQ(cases[i].flags, cases[i].notice.flags) << "case " << i;
    }
}

// The dialog's own part: a refused destination, the overwrite question and its answers
// (No; Yes while another program holds the old backup, which is no success and so has
// no closing message), and an import through the file dialog, each shown as the user
// sees them, owned by the backup dialog.
TEST_F(ExportImport, TheDialogAsksAndShows)
{
    const std::string folder = out + "\\" + Ansi(u8"国道改良工事");
    CreateDirectoryA(folder.c_str(), nullptr);
    WriteFile(folder + "\\BOOK0101.mdf", "old");
    const std::string question = u8"「" + Utf8(folder) + u8"」フォルダが既に存在します。\n上書きしますか？";
    std::vector<std::string> expected = {
        u8"エクスポートするBOOKが選択されていません。\nBOOKを選択してください。",
        question,
        u8"「国道改良工事」のエクスポートを中止します。",
        question,
        u8"「国道改良工事」のバックアップを置き換えられませんでした。5\n前のバックアップはそのまま残っています。",
        u8"BOOKのインポートが終了しました。",
    };
    // As the framework shows them: a box that names no icon gets the exclamation mark.
    const UINT kFlags[] = {MB_OK | MB_ICONEXCLAMATION, MB_YESNO | MB_ICONQUESTION, MB_OK | MB_ICONEXCLAMATION,
                           MB_YESNO | MB_ICONQUESTION, MB_OK | MB_ICONSTOP,        MB_OK | MB_ICONINFORMATION};
    boxes.Answer(IDNO);
    boxes.Answer(IDYES);
    // A real box puts the arrow back: the backup after the question, minutes long, runs
    // under the wait cursor again.
    boxes.onShow = [](const ShownMessage&) { SetCursor(LoadCursor(nullptr, IDC_ARROW)); };
    HCURSOR during = nullptr;
    fake.afterBackup = [&] { during = GetCursor(); };
    fake.freeSpace = 300;
    g_fileAnswer = folder + "\\BOOK0101.mdf";
    size_t shown = 0;
    auto next = [&] { return boxes.Shown().size() > shown && (shown = boxes.Shown().size(), true); };
    auto twoMore = [&] { return boxes.Shown().size() >= shown + 2 && (shown = boxes.Shown().size(), true); };
    std::vector<std::function<bool()>> steps = Export(dialog, boxes, out, {});
    steps.back() = next;
    for (auto& step : Export(dialog, boxes, out, {0}))
        steps.push_back(step);
    steps.back() = twoMore;
    HANDLE held = INVALID_HANDLE_VALUE;
    steps.push_back([&] {
        held = CreateFileA((folder + "\\BOOK0101.mdf").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        PostClick(dialog.Hwnd(), IDOK);
        return true;
    });
    steps.push_back(twoMore);
    steps.push_back([&] {
        CloseHandle(held);
        SwitchMode(dialog.Hwnd(), IDC_MODE_IMPORT);
        PostClick(dialog.Hwnd(), IDC_BROWSE_IMPORT);
        PostClick(dialog.Hwnd(), IDOK);
        return true;
    });
    steps.push_back(next);
    Run(steps);
    std::vector<std::string> texts;
    for (const ShownMessage& m : boxes.Shown())
        texts.push_back(Utf8(m.text));
    EXPECT_EQ(expected, texts);
    for (size_t i = 0; i < boxes.Shown().size() && i < expected.size(); ++i)
        EXPECT_EQ(kFlags[i], boxes.Shown()[i].flags) << "message " << i;
    EXPECT_NE(nullptr, g_fileDialogOwner);
    EXPECT_EQ(g_runningDialog, g_fileDialogOwner) << "the file dialog is owned by the backup dialog";
    EXPECT_EQ("old", ReadFile(folder + "\\BOOK0101.mdf"));
    EXPECT_EQ(std::vector<std::string>({"BOOK0101.mdf"}), FolderEntries(folder)) << "nothing of the new backup stays";
    EXPECT_EQ("BackupRestoreDatabase(1,BOOK0101," + folder + "\\BOOK0101.mdf)", fake.calls.back());
    EXPECT_EQ(LoadCursor(nullptr, IDC_WAIT), during);
}

// Every selected BOOK is handled in turn (the list allows one, the export handles what
// is selected): one that fails after one that was done still ends with the closing
// message, after the failure's.
TEST_F(ExportImport, ABookDoneBeforeAFailedOneStillEndsAsDone)
{
    Catalogue(kShelves, {{101, u8"山田", "BOOK0101", u8"国道改良工事"}, {102, u8"山田", "CON", "."}}, {{1, 101}, {1, 102}});
    Carried({101, 102});
    std::vector<std::function<bool()>> steps = Export(dialog, boxes, out, {0, 1});
    steps.insert(steps.begin() + 1, [&] {
        HWND list = GetDlgItem(dialog.Hwnd(), IDC_BOOK_LIST);
        SetWindowLongPtrA(list, GWL_STYLE, GetWindowLongPtrA(list, GWL_STYLE) & ~LVS_SINGLESEL);
        return true;
    });
    steps.back() = [&] { return boxes.Shown().size() >= 2; };
    Run(steps);
    ASSERT_EQ(2u, boxes.Shown().size());
    EXPECT_EQ(Ansi(u8"「.」のエクスポートに失敗しました。123"), boxes.Shown()[0].text);
    EXPECT_EQ(Ansi(u8"BOOKのエクスポートが終了しました。"), boxes.Shown()[1].text);
    EXPECT_EQ(UINT(MB_OK | MB_ICONINFORMATION), boxes.Shown()[1].flags);
    EXPECT_EQ("BOOK0101 backup #1", ReadFile(out + "\\" + Ansi(u8"国道改良工事") + "\\BOOK0101.mdf"));
}

// A file picked, or a destination typed, whose name the code page cannot spell (the yen
// sign a Mac writes, which Shift-JIS would turn into a backslash) is refused with a
// message naming it as the user sees it: never the other backup, or the other folder,
// its ANSI form names.
TEST_F(ExportImport, APathTheCodePageCannotSpellIsNeverTakenForAnother)
{
    CreateDirectoryW(Wide(out, u8"backup¥new").c_str(), nullptr);
    WriteWide(Wide(out, u8"backup¥new\\BOOK0101.mdf"), "the backup the user picked");
    CreateDirectoryTree((out + "\\backup\\new").c_str());
    WriteFile(out + "\\backup\\new\\BOOK0101.mdf", "another, older backup");
    // Nor the backup a folder named with a closing dot leads to (Windows reads it without).
    CreateDirectoryW(Wide(out, "backup.").c_str(), nullptr);
    CreateDirectoryW(Wide(out, "backup.\\new").c_str(), nullptr);
    WriteWide(Wide(out, "backup.\\new\\BOOK0101.mdf"), "the backup the user picked");
    g_wideFileAnswer = Utf16(Utf8(out).c_str()) + Utf16(u8"\\backup¥new\\BOOK0101.mdf");
    const auto before = FilesBelow(out);
    fake.freeSpace = 300;
    Run({[&] {
             SwitchMode(dialog.Hwnd(), IDC_MODE_IMPORT);
             PostClick(dialog.Hwnd(), IDC_BROWSE_IMPORT);
             PostClick(dialog.Hwnd(), IDOK);
             return true;
         },
         [&] { return boxes.Shown().size() >= 2; },
         [&] {
             SwitchMode(dialog.Hwnd(), IDC_MODE_EXPORT);
             SetWindowTextW(GetDlgItem(dialog.Hwnd(), IDC_EXPORT_FOLDER), (Utf16(Utf8(out).c_str()) + Utf16(u8"\\見積¥2026")).c_str());
             SelectRow(dialog.Hwnd(), 0);
             PostClick(dialog.Hwnd(), IDOK);
             return true;
         },
         [&] { return boxes.Shown().size() >= 3; },
         [&] {
             SwitchMode(dialog.Hwnd(), IDC_MODE_IMPORT);
             g_wideFileAnswer = Utf16(Utf8(out).c_str()) + L"\\backup.\\new\\BOOK0101.mdf";
             PostClick(dialog.Hwnd(), IDC_BROWSE_IMPORT);
             PostClick(dialog.Hwnd(), IDOK);
             return true;
         },
         [&] { return boxes.Shown().size() >= 5; },
         [&] {  // too long for the buffers: each mode's own message
             SwitchMode(dialog.Hwnd(), IDC_MODE_EXPORT);
             SetWindowTextA(GetDlgItem(dialog.Hwnd(), IDC_EXPORT_FOLDER), ("C:\\" + std::string(300, 'x')).c_str());
             PostClick(dialog.Hwnd(), IDOK);
             return true;
         },
         [&] { return boxes.Shown().size() >= 6; }});
    const std::string tail = Ansi(u8"」の名前には、このツールで使用できない文字が含まれています。\n名前を変えるか、別の場所を指定してください。");
    ASSERT_EQ(6u, boxes.Shown().size());
    EXPECT_EQ(g_runningDialog, boxes.Shown()[0].owner) << "the box is owned by the running dialog";
    EXPECT_EQ(Ansi(u8"指定されたフォルダは適切ではありません。（使用できないフォルダです。）\n再度設定してください。"),
              boxes.Shown()[5].text);
    EXPECT_EQ(Ansi(u8"「") + out + "\\backup.\\new\\BOOK0101.mdf" + tail, boxes.Shown()[3].text);
    EXPECT_EQ(Ansi(u8"「") + out + "\\backup<U+00A5>new\\BOOK0101.mdf" + tail, boxes.Shown()[0].text);
    EXPECT_EQ(Ansi(u8"インポート元の指定が正しくありません。\n指定し直してください。"), boxes.Shown()[1].text);
    EXPECT_EQ(Ansi(u8"「") + out + "\\" + Ansi(u8"見積") + "<U+00A5>2026" + tail, boxes.Shown()[2].text);
    for (const std::string& call : fake.calls)
        EXPECT_EQ(std::string::npos, call.find("BackupRestoreDatabase")) << call;
    EXPECT_EQ(before, FilesBelow(out)) << "nothing written, nothing restored";
}
