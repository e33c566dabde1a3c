// Export and import from the backup dialog against the in-process fake server: every
// check in its order with its message, the overwrite question, and a user's old backup
// never lost.
#include "BackupFixture.h"

#include <shlobj.h>

#include <fstream>
#include <iterator>

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

std::string Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA f;
    HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &f);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (f.cFileName[0] != '.')
            names.push_back(f.cFileName);
    } while (FindNextFileA(h, &f));
    FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

const std::vector<Shelf> kShelves = {{1, u8"本社工事部"}};
const std::vector<Book> kBooks = {
    {101, u8"山田", "BOOK0101", u8"国道改良工事"},
    {102, u8"佐藤", "BOOK0102", u8"工事A/第1工区"},   // both cut to 工事A
    {103, u8"鈴木", "BOOK0103", u8"工事A:第2工区"},
    {104, u8"高橋", "BOOK0104", u8"/名前なし"},       // nothing left after the cut
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

    // One "実行" in export mode: destination picked in the browser, rows selected.
    std::vector<std::function<bool()>> Export(const std::string& destination, std::vector<int> rows)
    {
        size_t before = 0;
        return {[=, &before] {
                    g_folderAnswer = destination;
                    before = boxes.Shown().size();
                    PostClick(dialog.Hwnd(), IDC_BROWSE_EXPORT);
                    return true;
                },
                [=] {
                    for (int r : rows)
                        SelectRow(dialog.Hwnd(), r);
                    PostClick(dialog.Hwnd(), IDOK);
                    return true;
                },
                [&before, this] { return boxes.Shown().size() > before; }};
    }

    std::vector<std::string> Texts() const
    {
        std::vector<std::string> t;
        for (const ShownMessage& m : boxes.Shown())
            t.push_back(Utf8(m.text));
        return t;
    }

    std::string out = ProgramFolder() + "..\\out";
    winui::FolderBrowserHandler previousFolder;
    winui::OpenFileHandler previousFile;
};

}  // namespace

TEST_F(ExportImport, ExportWritesTheBackupUnderTheSiteName)
{
    std::vector<std::function<bool()>> steps = Export(out, {0});
    Run(steps);
    std::string file = out + "\\" + Ansi(u8"国道改良工事") + "\\BOOK0101.mdf";
    EXPECT_EQ("BOOK0101 backup #1", Read(file));
    EXPECT_EQ(std::vector<std::string>({u8"BOOKのエクスポートが終了しました。"}), Texts());
    EXPECT_EQ(UINT(MB_OK | MB_ICONINFORMATION), boxes.Shown().back().flags);
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
        size_t before = 0;
        Run(d, {[&] {
                    // The destination as the browser would give it; "" is never picked.
                    g_folderAnswer = c.destination;
                    if (!c.destination.empty())
                        PostClick(d.Hwnd(), IDC_BROWSE_EXPORT);
                    return true;
                },
                [&] {
                    for (int r : c.rows)
                        SelectRow(d.Hwnd(), r);
                    before = shown.Shown().size();
                    PostClick(d.Hwnd(), IDOK);
                    return true;
                },
                [&] { return shown.Shown().size() > before; }});
        ASSERT_EQ(1u, shown.Shown().size());
        std::string expected = c.message ? Ansi(c.message)
                                         : "\x81\x75" + c.destination + Ansi(u8"」フォルダにはエクスポートできません。\n指定し直してください。");
        EXPECT_EQ(expected, shown.Shown()[0].text) << Utf8(shown.Shown()[0].text);
        EXPECT_EQ(UINT(MB_OK), shown.Shown()[0].flags);
        for (const std::string& call : fake.calls)
            EXPECT_EQ(std::string::npos, call.find("BackupRestoreDatabase")) << "nothing may be written";
    }
}

TEST_F(ExportImport, OverwriteAnsweredNoKeepsTheOldBackup)
{
    std::string folder = out + "\\" + Ansi(u8"国道改良工事");
    CreateDirectoryA(folder.c_str(), nullptr);
    WriteFile(folder + "\\BOOK0101.mdf", "the user's old backup");
    boxes.Answer(IDNO);
    Run(Export(out, {0}));
    EXPECT_EQ(std::vector<std::string>({u8"「" + Utf8(folder) + u8"」フォルダが既に存在します。\n上書きしますか？",
                                        u8"「国道改良工事」のエクスポートを中止します。"}),
              Texts());
    EXPECT_EQ(UINT(MB_YESNO | MB_ICONQUESTION), boxes.Shown()[0].flags);
    EXPECT_EQ("the user's old backup", Read(folder + "\\BOOK0101.mdf"));
    EXPECT_EQ(0, fake.backupsWritten);
}

TEST_F(ExportImport, OverwriteAnsweredYesReplacesTheFolderContents)
{
    std::string folder = out + "\\" + Ansi(u8"国道改良工事");
    CreateDirectoryA(folder.c_str(), nullptr);
    WriteFile(folder + "\\BOOK0101.mdf", "old");
    WriteFile(folder + "\\notes.txt", "left from before");
    boxes.Answer(IDYES);
    Run(Export(out, {0}));
    EXPECT_EQ(u8"BOOKのエクスポートが終了しました。", Texts().back());
    EXPECT_EQ(std::vector<std::string>({"BOOK0101.mdf"}), FolderEntries(folder));
    EXPECT_EQ("BOOK0101 backup #1", Read(folder + "\\BOOK0101.mdf"));
    // Nothing but the BOOK folder is left in the destination.
    EXPECT_EQ(std::vector<std::string>({Ansi(u8"国道改良工事")}), FolderEntries(out));
}

TEST_F(ExportImport, AFailedBackupAfterYesLeavesTheOldFileByteForByte)
{
    std::string folder = out + "\\" + Ansi(u8"国道改良工事");
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string old(5000, '\0');
    for (size_t i = 0; i < old.size(); ++i)
        old[i] = static_cast<char>(i * 7);
    WriteFile(folder + "\\BOOK0101.mdf", old);
    fake.backupResult = 1010;
    boxes.Answer(IDYES);
    Run(Export(out, {0}));
    EXPECT_EQ(u8"「国道改良工事」のエクスポートに失敗しました。1010", Texts().back());
    EXPECT_EQ(UINT(MB_OK | MB_ICONSTOP), boxes.Shown().back().flags);
    EXPECT_EQ(old, Read(folder + "\\BOOK0101.mdf"));
    EXPECT_EQ(std::vector<std::string>({Ansi(u8"国道改良工事")}), FolderEntries(out));
    EXPECT_EQ(2u, boxes.Shown().size()) << "no closing message after a failure";
}

TEST_F(ExportImport, WhenTheOldBackupCannotBeRemovedTheNewOneIsKept)
{
    std::string folder = out + "\\" + Ansi(u8"国道改良工事");
    CreateDirectoryA(folder.c_str(), nullptr);
    WriteFile(folder + "\\BOOK0101.mdf", "old");
    SetFileAttributesA((folder + "\\BOOK0101.mdf").c_str(), FILE_ATTRIBUTE_READONLY);
    boxes.Answer(IDYES);
    Run(Export(out, {0}));
    std::string last = Texts().back();
    EXPECT_EQ(0u, last.find(u8"「国道改良工事」のエクスポートに失敗しました。")) << last;
    std::string newFile = out + "\\" + Ansi(u8"国道改良工事") + ".new1\\BOOK0101.mdf";
    EXPECT_NE(std::string::npos, last.find(u8"新しいバックアップは「" + Utf8(newFile) + u8"」にあります。")) << last;
    EXPECT_EQ("BOOK0101 backup #1", Read(newFile));
    EXPECT_EQ("old", Read(folder + "\\BOOK0101.mdf"));
    SetFileAttributesA((folder + "\\BOOK0101.mdf").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(ExportImport, TwoBooksCutToTheSameFolderAndANameWithNothingLeft)
{
    boxes.Answer(IDYES);
    std::vector<std::function<bool()>> steps = Export(out, {1});
    for (auto& s : Export(out, {2}))
        steps.push_back(s);
    for (auto& s : Export(out, {3}))
        steps.push_back(s);
    Run(steps);
    std::string shared = out + "\\" + Ansi(u8"工事A");
    // The second BOOK asked to overwrite the first one's folder; Yes replaced its file.
    EXPECT_EQ(std::vector<std::string>({"BOOK0103.mdf"}), FolderEntries(shared));
    // A display name with nothing left: the folder takes the database name.
    EXPECT_EQ("BOOK0104 backup #3", Read(out + "\\BOOK0104\\BOOK0104.mdf"));
    std::vector<std::string> texts = Texts();
    ASSERT_EQ(4u, texts.size());
    EXPECT_EQ(u8"BOOKのエクスポートが終了しました。", texts[0]);
    EXPECT_EQ(u8"「" + Utf8(shared) + u8"」フォルダが既に存在します。\n上書きしますか？", texts[1]);
    EXPECT_EQ(u8"BOOKのエクスポートが終了しました。", texts[2]);
    EXPECT_EQ(u8"BOOKのエクスポートが終了しました。", texts[3]);
}

TEST_F(ExportImport, ABackupPathTooLongIsNotAttempted)
{
    // <out>\ddd...\eee...\国道改良工事\BOOK0101.mdf comes to more than 259 bytes.
    std::string deep = out + "\\" + std::string(120, 'd') + "\\" + std::string(70, 'e');
    ASSERT_GE(deep.size() + 1 + 12 + 1 + 12, 260u);
    CreateDirectoryA((out + "\\" + std::string(120, 'd')).c_str(), nullptr);
    CreateDirectoryA(deep.c_str(), nullptr);
    Run(Export(deep, {0}));
    EXPECT_EQ(std::vector<std::string>({u8"「国道改良工事」のエクスポートに失敗しました。206"}), Texts());
    EXPECT_EQ(0, fake.backupsWritten);
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
    EXPECT_EQ(std::vector<std::string>(
                  {u8"指定されたフォルダは適切ではありません。（使用できないフォルダです。）\n再度設定してください。"}),
              Texts());
    EXPECT_EQ("CloseDatabase(BOOK0101)", fake.calls.back());
    DeleteFileA("C:\\windows\\temp\\BOOK0101.mdf");
}
