// Export and import driven from the backup dialog against the in-process fake server:
// the messages the user sees for each check and outcome, byte for byte. What the
// transfers do on disk is tested without the dialog (TransferTest.cpp).
#include "BackupFixture.h"

#include <shlobj.h>

using namespace backuptest;
using namespace testsupport;

namespace {

std::string g_folderAnswer;
std::string g_fileAnswer;

LPITEMIDLIST AnswerFolder(BROWSEINFOA*) { return ILCreateFromPathA(g_folderAnswer.c_str()); }

BOOL AnswerFile(OPENFILENAMEA* info)
{
    lstrcpynA(info->lpstrFile, g_fileAnswer.c_str(), static_cast<int>(info->nMaxFile));
    return TRUE;
}

const std::vector<Shelf> kShelves = {{1, u8"本社工事部"}};
const std::vector<Book> kBooks = {
    {101, u8"山田", "BOOK0101", u8"国道改良工事"},
    {102, u8"佐藤", "BOOK0102", u8"工事A/第1工区"},
    {103, u8"鈴木", "BOOK0103", u8"工事A:第2工区"},
    {104, u8"高橋", "CON", ".."},  // neither name gives a folder
};
const std::vector<Link> kLinks = {{1, 101}, {1, 102}, {1, 103}, {1, 104}};

class ExportImport : public BackupTest {
protected:
    void SetUp() override
    {
        BackupTest::SetUp();
        Catalogue(kShelves, kBooks, kLinks);
        Carried({101, 102, 103, 104});
        fake.writeBackups = true;
        RemoveTree(out);
        CreateDirectoryA(out.c_str(), nullptr);
        char full[MAX_PATH];
        GetFullPathNameA(out.c_str(), MAX_PATH, full, nullptr);
        out = full;
        previousFolder = winui::SetFolderBrowserHandler(AnswerFolder);
        previousFile = winui::SetOpenFileHandler(AnswerFile);
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

    std::string out = ProgramFolder() + "..\\out";
    winui::FolderBrowserHandler previousFolder;
    winui::OpenFileHandler previousFile;
};

}  // namespace

TEST_F(ExportImport, ExportWritesTheBackupUnderTheSiteName)
{
    Run(Export(dialog, boxes, out, {0}));
    std::string file = out + "\\" + Ansi(u8"国道改良工事") + "\\BOOK0101.mdf";
    EXPECT_EQ("BOOK0101 backup #1", ReadFile(file));
    EXPECT_EQ("BackupRestoreDatabase(0,BOOK0101," + file + ")", fake.calls.back());
}

TEST_F(ExportImport, TheDestinationChecksInTheirOrder)
{
    WriteFile(out + "\\afile", "x");
    std::string nethood = out + "\\NetHood";
    CreateDirectoryA(nethood.c_str(), nullptr);
    struct Case {
        std::string destination;
        std::vector<int> rows;
        const char* message;
    };
    const Case cases[] = {
        /* 0 */ {"", {0}, u8"エクスポート先のフォルダが指定されていません。\nフォルダを指定してください。"},
        /* 1 */ {out + "\\afile", {0}, u8"エクスポート先の指定が正しくありません。\n指定し直してください。"},
        /* 2 */ {nethood, {0}, nullptr},  // quotes the path
        /* 3 */ {out, {}, u8"エクスポートするBOOKが選択されていません。\nBOOKを選択してください。"},
        /* 4 */ {"C:\\windows", {0}, u8"指定されたフォルダは適切ではありません。（使用できないフォルダです。）\n再度設定してください。"},
        /* 5 */ {"C:\\", {0}, u8"ドライブを指定することはできません。\n再度設定してください。"},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        const Case& c = cases[i];
        MessageBoxRecorder shown;
        fake.calls.clear();
        BookBackupDialog d;
        Run(d, Export(d, shown, c.destination, c.rows));
        ASSERT_EQ(1u, shown.Shown().size());
        std::string expected = c.message ? Ansi(c.message)
                                         : "\x81\x75" + c.destination + Ansi(u8"」フォルダにはエクスポートできません。\n指定し直してください。");
        EXPECT_EQ(expected, shown.Shown()[0].text) << Utf8(shown.Shown()[0].text);
        EXPECT_EQ(UINT(MB_OK), shown.Shown()[0].flags);
        for (const std::string& call : fake.calls)
            EXPECT_EQ(std::string::npos, call.find("BackupRestoreDatabase")) << "nothing may be written";
    }
}

// What the user sees of each export outcome, byte for byte, in order.
TEST_F(ExportImport, ExportMessages)
{
    const std::string folder = out + "\\" + Ansi(u8"国道改良工事");
    const std::string question = u8"「" + Utf8(folder) + u8"」フォルダが既に存在します。\n上書きしますか？";
    struct Case {
        int row;
        bool oldBackup;   // read-only: it cannot be cleared away
        bool readOnly;
        int answer;
        long server;
        std::vector<std::string> texts;  // UTF-8
        std::vector<UINT> flags;
    };
    const Case cases[] = {
        /* 0 */ {0, false, false, 0, 0, {u8"BOOKのエクスポートが終了しました。"}, {MB_OK | MB_ICONINFORMATION}},
        /* 1 */ {0, true, false, IDNO, 0, {question, u8"「国道改良工事」のエクスポートを中止します。"},
                 {MB_YESNO | MB_ICONQUESTION, MB_OK}},
        /* 2 */ {0, true, false, IDYES, 1010, {question, u8"「国道改良工事」のエクスポートに失敗しました。1010"},
                 {MB_YESNO | MB_ICONQUESTION, MB_OK | MB_ICONSTOP}},
        /* 3 */ {0, true, true, IDYES, 0,
                 {question, u8"「国道改良工事」のエクスポートに失敗しました。5\n新しいバックアップは「" + Utf8(folder) +
                                u8".new1\\BOOK0101.mdf」にあります。"},
                 {MB_YESNO | MB_ICONQUESTION, MB_OK | MB_ICONSTOP}},
        /* 4 */ {3, false, false, 0, 0, {u8"「..」のエクスポートに失敗しました。123"}, {MB_OK | MB_ICONSTOP}},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        const Case& c = cases[i];
        RemoveTree(out);
        CreateDirectoryA(out.c_str(), nullptr);
        if (c.oldBackup) {
            CreateDirectoryA(folder.c_str(), nullptr);
            WriteFile(folder + "\\BOOK0101.mdf", "old");
            if (c.readOnly)
                SetFileAttributesA((folder + "\\BOOK0101.mdf").c_str(), FILE_ATTRIBUTE_READONLY);
        }
        fake.backupResult = c.server;
        MessageBoxRecorder shown;
        shown.Answer(c.answer);
        BookBackupDialog d;
        Run(d, Export(d, shown, out, {c.row}));
        std::vector<std::string> texts;
        std::vector<UINT> flags;
        for (const ShownMessage& m : shown.Shown()) {
            texts.push_back(Utf8(m.text));
            flags.push_back(m.flags);
        }
        EXPECT_EQ(c.texts, texts);
        EXPECT_EQ(c.flags, flags);
        SetFileAttributesA((folder + "\\BOOK0101.mdf").c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST_F(ExportImport, ImportChecksAndResults)
{
    std::string file = out + "\\BOOK0101.mdf";
    WriteFile(file, "backup");
    struct Case {
        std::string file;   // empty: none picked
        long freeSpace;
        long freeResult;
        long openResult;
        long restoreResult;
        const char* message;
        UINT flags;
        bool restored;
    };
    const Case cases[] = {
        /* 0 */ {"", 500, 0, 0, 0, u8"インポート元の指定が正しくありません。\n指定し直してください。", MB_OK, false},
        /* 1 */ {out + "\\gone.mdf", 500, 0, 0, 0, u8"インポート元の指定が正しくありません。\n指定し直してください。", MB_OK, false},
        /* 2 */ {file, 299, 0, 0, 0, u8"データベースドライブの空き容量が299MBです。\n300MB以上の空き容量を確保して、再度、インポートを行ってください。", MB_OK, false},
        /* 3 */ {file, 0, 1018, 0, 0, nullptr, MB_OK | MB_ICONSTOP, false},  // the query failed: refused
        /* 4 */ {file, 300, 0, 1002, 0, u8"指定したファイルのバックアップ元データベースが存在しません。\n指定し直してください。", MB_OK, false},
        /* 5 */ {file, 300, 0, 0, 0, u8"BOOKのインポートが終了しました。", MB_OK | MB_ICONINFORMATION, true},
        /* 6 */ {file, 300, 0, 0, 146, u8"対象のBOOKはアプリケーションで使用中のため、インポートに失敗しました。146", MB_OK | MB_ICONSTOP, true},
        /* 7 */ {file, 300, 0, 0, 1013, nullptr, MB_OK | MB_ICONSTOP, true},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        const Case& c = cases[i];
        fake.calls.clear();
        fake.freeSpace = c.freeSpace;
        fake.freeSpaceResult = c.freeResult;
        fake.backupResult = c.restoreResult;
        MessageBoxRecorder shown;
        BookBackupDialog d;
        Run(d, {[&] {
                    fake.openDatabaseResult = c.openResult;  // the catalogue has been read
                    CheckDlgButton(d.Hwnd(), IDC_MODE_EXPORT, BST_UNCHECKED);
                    CheckDlgButton(d.Hwnd(), IDC_MODE_IMPORT, BST_CHECKED);
                    PostClick(d.Hwnd(), IDC_MODE_IMPORT);
                    g_fileAnswer = c.file;
                    if (!c.file.empty())
                        PostClick(d.Hwnd(), IDC_BROWSE_IMPORT);
                    return true;
                },
                [&] {
                    PostClick(d.Hwnd(), IDOK);
                    return true;
                },
                [&] { return !shown.Shown().empty(); }});
        ASSERT_EQ(1u, shown.Shown().size());
        std::string expected;
        if (c.message)
            expected = Ansi(c.message);
        else
            expected = "\x81\x75" + c.file + Ansi(u8"」のインポートに失敗しました。") +
                       std::to_string(c.freeResult ? c.freeResult : c.restoreResult);
        EXPECT_EQ(expected, shown.Shown()[0].text) << Utf8(shown.Shown()[0].text);
        EXPECT_EQ(c.flags, shown.Shown()[0].flags);
        bool restored = false, opened = false, closed = false;
        for (const std::string& call : fake.calls) {
            restored |= call == "BackupRestoreDatabase(1,BOOK0101," + c.file + ")";
            opened |= call == "OpenDatabase(BOOK0101)";
            closed |= call == "CloseDatabase(BOOK0101)";
        }
        EXPECT_EQ(c.restored, restored);
        EXPECT_EQ(opened && c.openResult == 0, closed) << "a database opened for the check is closed again";
        fake.openDatabaseResult = 0;
    }
}

TEST_F(ExportImport, ImportFromAnUnusableFolderClosesTheDatabaseFirst)
{
    CreateDirectoryA("C:\\windows\\temp", nullptr);
    WriteFile("C:\\windows\\temp\\BOOK0101.mdf", "backup");
    fake.freeSpace = 1000;
    Run({[&] {
             CheckDlgButton(dialog.Hwnd(), IDC_MODE_EXPORT, BST_UNCHECKED);
             CheckDlgButton(dialog.Hwnd(), IDC_MODE_IMPORT, BST_CHECKED);
             PostClick(dialog.Hwnd(), IDC_MODE_IMPORT);
             g_fileAnswer = "C:\\windows\\temp\\BOOK0101.mdf";
             PostClick(dialog.Hwnd(), IDC_BROWSE_IMPORT);
             return true;
         },
         [&] {
             PostClick(dialog.Hwnd(), IDOK);
             return true;
         },
         [&] { return !boxes.Shown().empty(); }});
    ASSERT_EQ(1u, boxes.Shown().size());
    EXPECT_EQ(Ansi(u8"指定されたフォルダは適切ではありません。（使用できないフォルダです。）\n再度設定してください。"),
              boxes.Shown()[0].text);
    EXPECT_EQ("CloseDatabase(BOOK0101)", fake.calls.back());
    DeleteFileA("C:\\windows\\temp\\BOOK0101.mdf");
}
