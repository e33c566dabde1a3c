// The folder rules on the running system, the folder browser answered through its seam,
// and the directory utilities on the real file system.
#include "FolderRules.h"
#include "FakeDatabaseServer.h"
#include "FileSystem.h"
#include "FolderTools.h"
#include "ShellDialogs.h"
#include "Support.h"
#include "WideText.h"
#include "WindowsRules.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <fstream>

using namespace testsupport;

namespace {

std::string Work() { return TestFolder("work"); }

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void Fresh(const std::string& folder)
{
    RemoveTree(folder);
    CreateDirectoryA(folder.c_str(), nullptr);
}

// What the program handed the browser, and what the "user" picks.
struct BrowserScript {
    std::string title;
    UINT flags = 0;
    std::string initial;
    std::string answer;  // empty: cancel
    std::wstring wideAnswer;  // a folder the code page cannot spell, instead
    std::vector<std::pair<UINT, std::string>> sentToBrowser;
};
BrowserScript* g_script = nullptr;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == BFFM_SETSELECTIONA)
        g_script->sentToBrowser.push_back({msg, reinterpret_cast<const char*>(lParam)});
    if (msg == BFFM_SETSTATUSTEXTW)
        g_script->sentToBrowser.push_back({msg, Shown(reinterpret_cast<const wchar_t*>(lParam))});
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

LPITEMIDLIST AnswerBrowser(BROWSEINFOA* info)
{
    g_script->title = info->lpszTitle;
    g_script->flags = info->ulFlags;
    g_script->initial = reinterpret_cast<const char*>(info->lParam);
    // Play the browser: it tells the callback it is ready and what is selected.
    WNDCLASSA cls = {};
    cls.lpfnWndProc = RecordingProc;
    cls.lpszClassName = "OrvelFakeBrowser";
    RegisterClassA(&cls);
    HWND window = CreateWindowA("OrvelFakeBrowser", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    info->lpfn(window, BFFM_INITIALIZED, 0, info->lParam);
    LPITEMIDLIST answer = !g_script->wideAnswer.empty() ? ILCreateFromPathW(g_script->wideAnswer.c_str())
                          : g_script->answer.empty()    ? nullptr
                                                        : ILCreateFromPathA(g_script->answer.c_str());
    if (answer)
        info->lpfn(window, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(answer), info->lParam);
    DestroyWindow(window);
    return answer;
}

class Browser : public testing::Test {
protected:
    void SetUp() override
    {
        g_script = &script;
        previous = winui::SetFolderBrowserHandler(AnswerBrowser);
    }
    void TearDown() override
    {
        winui::SetFolderBrowserHandler(previous);
        g_script = nullptr;
    }
    BrowserScript script;
    winui::FolderBrowserHandler previous;
};

}  // namespace

// What the system resolves to a fixed volume's root is refused, however it is written;
// a folder of the drive is not (Wine would call every folder of C: fixed).
TEST(FolderRulesWin, FixedDriveRoots)
{
    // The Windows folder and its drive, as the running system names them.
    const std::string windir = Expand("%windir%"), drive = windir.substr(0, 2), folder = windir.substr(2);
    CurrentFolder here(windir);
    const struct {
        std::string path;
        bool root;
    } cases[] = {
        /* 0 */ {drive + "\\", true},
        /* 1 */ {drive, true},
        /* 2 */ {"\\", true},  // the current drive's root
        /* 3 */ {drive + "\\.", true},
        /* 4 */ {windir + "\\..", true},
        /* 5 */ {std::string(1, static_cast<char>(tolower(drive[0]))) + ":\\", true},
        /* 6 */ {windir, false},
        /* 7 */ {windir + "\\", false},
        /* 8 */ {folder, false},
        /* 9 */ {"system32", false},  // relative: the Windows folder's system32
        /* 10 */ {AbsentDriveRoot(), false},
        /* 11 */ {"", false},
        /* 12 */ {drive + "\\no such folder\\", false},
        /* 13 */ {"\\\\?\\" + drive + "\\", true},
        /* 14 */ {"\\\\?\\" + windir, false},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
        EXPECT_EQ(cases[i].root, IsFixedDriveRoot(cases[i].path.c_str())) << "case " << i << ": " << cases[i].path;
}

// The letter case of a text: the system folders are compared without regard to it, the
// profile root as plain text with it.
std::string OtherCase(std::string text)
{
    for (char& c : text)
        c = isupper(static_cast<unsigned char>(c)) ? static_cast<char>(tolower(c))
                                                     : static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return text;
}

TEST(FolderRulesWin, TheRunningSystem)
{
    // 64-bit Windows, for the 32-bit program and the 64-bit test build alike: the Windows
    // folder, the 32-bit and the 64-bit program-files folders, as the system names them.
    std::vector<std::string> expected = {Expand("%windir%\\"), Expand("%ProgramFiles(x86)%\\"),
                                         Expand("%ProgramW6432%\\")};
    std::vector<std::string> folders = SystemFolders();
    ASSERT_EQ(expected.size(), folders.size());
    for (size_t i = 0; i < folders.size(); ++i)
        EXPECT_EQ(0, lstrcmpiA(expected[i].c_str(), folders[i].c_str())) << expected[i] << " / " << folders[i];
    // The desktop's item list comes from the shell's allocator and goes back to it.
    const std::string elsewhere = AbsentDriveRoot() + "Data";
    IsUnusableFolder(elsewhere.c_str());  // the shell keeps what it loads on first use
    {
        BstrSpy spy;
        long live = spy.Live();
        EXPECT_FALSE(IsUnusableFolder(elsewhere.c_str()));
        EXPECT_EQ(live, spy.Live()) << "the desktop's item list was not freed";
    }
    const std::string windir = Expand("%windir%"), root = ProfileRoot();
    EXPECT_TRUE(IsUnusableFolder(OtherCase(windir).c_str()));
    EXPECT_TRUE(IsUnusableFolder(Expand("%ProgramFiles%\\Other").c_str()));
    EXPECT_TRUE(IsUnusableFolder(Expand("%USERPROFILE%\\Desktop").c_str()));
    EXPECT_TRUE(IsUnusableFolder((root + "\\someone\\Documents").c_str()));
    EXPECT_TRUE(IsUnusableFolder((root + "Data").c_str()));  // the root is searched as plain text
    EXPECT_FALSE(IsUnusableFolder((OtherCase(root) + "\\x").c_str()));  // ...with its letter case
    EXPECT_FALSE(IsUnusableFolder((windir + "2").c_str()));
    // As the system resolves it: through "..", the \\?\ and \\.\ forms, a short name.
    EXPECT_TRUE(IsUnusableFolder((windir.substr(0, 3) + "x\\..\\" + windir.substr(3)).c_str()));
    EXPECT_TRUE(IsUnusableFolder(("\\\\?\\" + windir + "\\Temp").c_str()));
    EXPECT_TRUE(IsUnusableFolder(("\\\\.\\" + windir).c_str()));
    char shortName[MAX_PATH] = "";
    const std::string programFiles = Expand("%ProgramFiles%");
    GetShortPathNameA(programFiles.c_str(), shortName, MAX_PATH);
    EXPECT_NE(programFiles, shortName) << "no short name to try";
    EXPECT_TRUE(IsUnusableFolder((std::string(shortName) + "\\Other").c_str())) << shortName;
    EXPECT_TRUE(IsUnusableFolder((std::string(shortName) + "\\Work\\").c_str())) << shortName;
    // A short name whose long form the code page cannot spell cannot be judged.
    Fresh(Work());
    wchar_t wideShort[MAX_PATH] = L"";
    CreateDirectoryW(Wide(Work(), u8"사진").c_str(), nullptr);
    GetShortPathNameW((Utf16(Utf8(FullPath(Work())).c_str()) + Utf16(u8"\\사진")).c_str(), wideShort, MAX_PATH);
    std::string spelled;
    ASSERT_TRUE(NarrowExactly(wideShort, &spelled)) << "no short name to try";
    EXPECT_TRUE(IsUnusableFolder(spelled.c_str())) << spelled;
    EXPECT_FALSE(IsUnusableFolder(AbsentDriveRoot().c_str()));
    // A relative folder is judged where it resolves: beside the current folder.
    Fresh(Work());
    {
        CurrentFolder here(Work());
        EXPECT_FALSE(IsUnusableFolder("work"));
    }
    {
        CurrentFolder here(ProfileRoot());
        EXPECT_TRUE(IsUnusableFolder("work"));
    }
    std::string program = ProgramFolder();
    EXPECT_TRUE(IsInsideProgramFolder((program + "kamiwork").c_str()));
    EXPECT_FALSE(IsInsideProgramFolder(program.substr(0, program.size() - 1).c_str()));
    // Written inside the program's folder, resolved to the Windows folder: no exemption,
    // and the Windows folder is seen through the "..".
    std::string up = program;
    for (size_t i = 3; i < program.size(); ++i)
        up += program[i] == '\\' ? "..\\" : "";
    const std::string escaped = up + windir.substr(3);
    EXPECT_FALSE(IsInsideProgramFolder(escaped.c_str())) << escaped;
    if (toupper(program[0]) == toupper(windir[0])) {  // the program on the Windows folder's drive
        EXPECT_TRUE(IsUnusableFolder(escaped.c_str())) << escaped;
    }
}

// The \\?\ form every long folder path is made and removed through: the full path, and
// for a network path the UNC form with the server's two backslashes gone.
TEST(FolderTools, ExtendedPaths)
{
    CurrentFolder program(ProgramFolder());
    wchar_t here[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, here);
    const std::wstring relative = L"\\\\?\\" + std::wstring(here) + L"\\a\\b";
    const struct {
        const char* text;
        std::wstring extended;
    } cases[] = {
        /* 0 */ {"C:\\a\\b", L"\\\\?\\C:\\a\\b"},
        /* 1 */ {"a\\b", relative},  // relative to the current folder
        /* 2 */ {"C:\\a\\.\\x\\..\\b", L"\\\\?\\C:\\a\\b"},
        /* 3 */ {"\\\\server\\share\\dir", L"\\\\?\\UNC\\server\\share\\dir"},
        /* 4 */ {"\\\\server\\share\\a\\..\\b", L"\\\\?\\UNC\\server\\share\\b"},
        /* 5 */ {"\\\\?\\C:\\a", L"\\\\?\\C:\\a"},  // already extended
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
        EXPECT_TRUE(ExtendedPath(cases[i].text) == cases[i].extended) << "case " << i << ": " << cases[i].text;
}

// Runs inside a copy of this program placed under C:\Program Files by the next test.
TEST(PlacedProgram, RulesFromInsideProgramFiles)
{
    if (ProgramFolder() != "C:\\Program Files\\OrvelTool\\")
        GTEST_SKIP() << "runs only as the placed copy";
    // The callers' order: inside the program folder first, then unusable.
    EXPECT_TRUE(IsInsideProgramFolder("C:\\Program Files\\OrvelTool\\kamiwork"));
    EXPECT_FALSE(IsInsideProgramFolder("C:\\Program Files\\Other"));
    EXPECT_TRUE(IsUnusableFolder("C:\\Program Files\\Other"));
    EXPECT_TRUE(IsUnusableFolder("C:\\PROGRAM FILES\\Other"));
}

TEST(FolderRulesWin, ProgramPlacedUnderProgramFiles)
{
    std::string folder = "C:\\Program Files\\OrvelTool";
    bool made = CreateDirectoryA(folder.c_str(), nullptr);
    if (!made && GetLastError() == ERROR_ACCESS_DENIED && InTestKit())
        GTEST_SKIP() << "the kit's standard user may not place a program under C:\\Program Files";
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    ASSERT_TRUE(CopyFileA(self, (folder + "\\folder_tests.exe").c_str(), FALSE));
    const int code = RunProgram("\"" + folder + "\\folder_tests.exe\" --gtest_filter=PlacedProgram.*");
    EXPECT_EQ(0, code) << "the placed copy's checks failed";
    DeleteFileA((folder + "\\folder_tests.exe").c_str());
    if (made)
        RemoveDirectoryA(folder.c_str());
}

TEST_F(Browser, ConfirmedFolderIsStoredAndShownAsStatus)
{
    Fresh(Work());
    std::string chosen = Work() + "\\" + Ansi(u8"バックアップ表");
    CreateDirectoryA(chosen.c_str(), nullptr);
    const std::string full = FullPath(chosen);
    script.answer = full;
    char path[260] = "E:\\previous";
    EXPECT_TRUE(BrowseForFolder(Ansi(u8"エクスポート先を選択してください。").c_str(), path, sizeof path));
    EXPECT_EQ(full, path);
    EXPECT_EQ(Ansi(u8"エクスポート先を選択してください。"), script.title);
    EXPECT_EQ(UINT(BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT), script.flags);
    EXPECT_EQ("E:\\previous", script.initial);
    ASSERT_EQ(2u, script.sentToBrowser.size());
    EXPECT_EQ(UINT(BFFM_SETSELECTIONA), script.sentToBrowser[0].first);
    EXPECT_EQ("E:\\previous", script.sentToBrowser[0].second);
    EXPECT_EQ(UINT(BFFM_SETSTATUSTEXTW), script.sentToBrowser[1].first);
    EXPECT_EQ(full, script.sentToBrowser[1].second);
}

// Cancelled, nothing is taken. A folder whose name the code page cannot spell is shown
// as it is, and refused with a message that names it so: never taken as the folder its
// ANSI name would be.
TEST_F(Browser, WhatIsNotTakenLeavesTheTextAsItWas)
{
    Fresh(Work());
    MessageBoxRecorder boxes;
    for (const char* name : {"", u8"見積¥2026", u8"사진", u8"𠮷田"}) {
        SCOPED_TRACE(name);
        char path[260] = "E:\\previous";
        const std::string shown = FullPath(Work()) + "\\" + Shown(Utf16(name));
        if (*name) {
            ASSERT_TRUE(CreateDirectoryW(Wide(Work(), name).c_str(), nullptr));
            script.wideAnswer = Utf16(Utf8(FullPath(Work())).c_str()) + L"\\" + Utf16(name);  // as the shell names it
        }
        EXPECT_FALSE(BrowseForFolder("t", path, sizeof path));
        EXPECT_STREQ("E:\\previous", path);
        if (!*name)
            continue;
        EXPECT_EQ(shown, script.sentToBrowser.back().second) << "the status line shows the folder as it is";
        ASSERT_FALSE(boxes.Shown().empty());
        EXPECT_EQ(Ansi(u8"「") + shown + Ansi(u8"」の名前には、このツールで使用できない文字が含まれています。\n"
                                              u8"名前を変えるか、別の場所を指定してください。"),
                  boxes.Shown().back().text);
    }
    EXPECT_EQ(3u, boxes.Shown().size());
}

TEST_F(Browser, APathTooLongForTheBrowserIsNotPreselected)
{
    std::string longPath = "C:\\" + std::string(300, 'x');
    std::vector<char> path(longPath.begin(), longPath.end());
    path.push_back('\0');
    EXPECT_FALSE(BrowseForFolder("t", path.data(), path.size()));
    EXPECT_EQ("", script.initial);
    EXPECT_TRUE(script.sentToBrowser.empty());
    EXPECT_EQ(longPath, path.data());
}

TEST(FolderTools, CreateDirectoryTreeMakesEachLevel)
{
    Fresh(Work());
    struct Case {
        std::string path;
        std::string mustExist;
    };
    const Case cases[] = {
        /* 0 */ {Work() + "\\Backup\\BOOK1", Work() + "\\Backup\\BOOK1"},
        /* 1 */ {Work() + "\\Trail\\BOOK1\\", Work() + "\\Trail\\BOOK1"},
        /* 2 */ {Work() + "\\" + Ansi(u8"工程表\\ソフト"), Work() + "\\" + Ansi(u8"工程表\\ソフト")},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(CreateDirectoryTree(c.path.c_str())) << Utf8(c.path);
        DWORD a = GetFileAttributesA(c.mustExist.c_str());
        EXPECT_TRUE(a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) << Utf8(c.path);
    }
    // 工程表 ends in 0x5C: no folder named after its first byte may appear.
    EXPECT_FALSE(Exists(Work() + "\\" + Ansi(u8"工程表").substr(0, 5)));
    // Through a file: nothing is created, and the caller learns of it.
    WriteFile(Work() + "\\File", "x");
    EXPECT_FALSE(CreateDirectoryTree((Work() + "\\File\\BOOK1").c_str()));
    EXPECT_FALSE(Exists(Work() + "\\File\\BOOK1"));
}

TEST(FolderTools, DeleteFolderContents)
{
    std::string box = Work() + "\\box";
    // A folder that does not exist, an empty folder.
    EXPECT_TRUE(DeleteFolderContents((Work() + "\\missing").c_str()));
    Fresh(Work());
    CreateDirectoryA(box.c_str(), nullptr);
    EXPECT_TRUE(DeleteFolderContents(box.c_str()));
    EXPECT_TRUE(Exists(box));

    // Files and sub-folders go; the folder itself stays, and so does every backup, with
    // the folders that lead to it (any letter case; a folder so named is no backup).
    CreateDirectoryTree((box + "\\sub\\deeper").c_str());
    CreateDirectoryTree((box + "\\old\\x.mdf").c_str());
    WriteFile(box + "\\a.txt", "a");
    WriteFile(box + "\\sub\\deeper\\" + Ansi(u8"表.txt"), "b");
    WriteFile(box + "\\BOOK0102.MDF", "another BOOK's");
    WriteFile(box + "\\old\\BOOK0101.mdf", "put aside");
    WriteFile(box + "\\old\\notes.txt", "n");
    EXPECT_TRUE(DeleteFolderContents(box.c_str()));
    const std::map<std::string, std::string> kept = {{"BOOK0102.MDF", "another BOOK's"}, {"old\\BOOK0101.mdf", "put aside"}};
    EXPECT_EQ(kept, FilesBelow(box));
    Fresh(box);

    // A folder there that may not be listed, or whose listing breaks off (a network
    // share that drops), is not emptied: the system's reason, and what is in it stays.
    CreateDirectoryA((box + "\\private").c_str(), nullptr);
    WriteFile(box + "\\private\\x.txt", "x");
    for (auto pretence : {FolderPretence::Unlisted, FolderPretence::Breaking}) {
        PretendFolder(box + "\\private", pretence);
        EXPECT_FALSE(DeleteFolderContents(box.c_str()));
        EXPECT_EQ(pretence == FolderPretence::Unlisted ? ERROR_ACCESS_DENIED : ERROR_NETNAME_DELETED, GetLastError());
        EXPECT_FALSE(HoldsOnlyFilesNamed((box + "\\private").c_str(), {"x.txt"}));
        PretendFolder(box + "\\private", pretence, false);
        EXPECT_EQ("x", ReadFile(box + "\\private\\x.txt"));
    }
    Fresh(box);

    // A .keep file is passed over, so its folder cannot be removed.
    CreateDirectoryA((box + "\\kept").c_str(), nullptr);
    WriteFile(box + "\\kept\\.keep", "");
    EXPECT_FALSE(DeleteFolderContents(box.c_str()));
    EXPECT_TRUE(Exists(box + "\\kept\\.keep"));
    Fresh(box);

    // A read-only file stops it; what comes after it in search order remains.
    WriteFile(box + "\\1.txt", "1");
    WriteFile(box + "\\2.txt", "2");
    WriteFile(box + "\\3.txt", "3");
    SetFileAttributesA((box + "\\2.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    DWORD handles = HandleCount();
    EXPECT_FALSE(DeleteFolderContents(box.c_str()));
    EXPECT_EQ(handles, HandleCount()) << "the search is closed on the way out too";
    EXPECT_TRUE(Exists(box + "\\2.txt"));
    int left = Exists(box + "\\1.txt") + Exists(box + "\\3.txt");
    EXPECT_GE(left, 1) << "the entries after the read-only file must still be there";
    SetFileAttributesA((box + "\\2.txt").c_str(), FILE_ATTRIBUTE_NORMAL);

    // A folder of the tool's own goes whole, also when it is read-only itself: Windows
    // removes no read-only folder, so the attribute is cleared first.
    CreateDirectoryA((box + "\\own").c_str(), nullptr);
    WriteFile(box + "\\own\\x", "x");
    SetFileAttributesW(Wide(box, "own").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(RemoveFolderTree((box + "\\own").c_str()));
    EXPECT_FALSE(Exists(box + "\\own"));
}

// A link inside a folder being emptied is never followed: what it points to keeps its
// files. Windows removes a junction or folder link with RemoveDirectory; Wine cannot
// (it answers "not empty"), so there the link stays and the result says so. The links
// are made by the test run's set-up (Wine cannot make them either). A link to a file is
// not tested: Wine shows a Unix file link as a plain file, and deleting it there deletes
// the file it points to; Windows marks such a link and deletes only the link.
TEST(FolderTools, LinksAreNeverFollowed)
{
    std::string links = ProgramFolder() + "..\\links";
    if (!Exists(links + "\\box\\dirlink"))
        GTEST_SKIP() << "no link set up: the links are made by a Unix shell in the Linux test run";
    DWORD a = GetFileAttributesA((links + "\\box\\dirlink").c_str());
    ASSERT_TRUE(a & FILE_ATTRIBUTE_REPARSE_POINT) << "the folder link is not reported as a link";
    // Also where the folder holding it may not be listed: asked for its attributes, a
    // reparse point is a link.
    PretendFolder(links + "\\box", FolderPretence::Unlisted);
    EXPECT_EQ(PathKind::Link, KindOf((links + "\\box\\dirlink").c_str()));
    PretendFolder(links + "\\box", FolderPretence::Unlisted, false);
    bool emptied = DeleteFolderContents((links + "\\box").c_str());
    EXPECT_EQ(emptied, !Exists(links + "\\box\\dirlink"));
    EXPECT_TRUE(Exists(links + "\\target\\precious.mdf"));
    EXPECT_TRUE(Exists(links + "\\target\\sub\\deep.mdf"));
    // Nor when the folder holding it is removed whole, as the export takes back its own.
    EXPECT_EQ(!Exists(links + "\\box\\dirlink"), RemoveFolderTree((links + "\\box").c_str()));
    EXPECT_TRUE(Exists(links + "\\target\\precious.mdf"));
    EXPECT_TRUE(Exists(links + "\\target\\sub\\deep.mdf"));
}
