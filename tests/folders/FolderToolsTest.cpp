// The folder rules on the running system, the folder browser answered through its seam,
// and the directory utilities on the real file system.
#include "FolderRules.h"
#include "FakeDatabaseServer.h"
#include "FolderTools.h"
#include "ShellDialogs.h"
#include "Support.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <fstream>

using namespace testsupport;

namespace {

std::string Work() { return ProgramFolder() + "..\\work"; }

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
    std::vector<std::pair<UINT, std::string>> sentToBrowser;
};
BrowserScript* g_script = nullptr;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == BFFM_SETSELECTIONA || msg == BFFM_SETSTATUSTEXTA)
        g_script->sentToBrowser.push_back({msg, reinterpret_cast<const char*>(lParam)});
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
    LPITEMIDLIST answer = g_script->answer.empty() ? nullptr : ILCreateFromPathA(g_script->answer.c_str());
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
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    SetCurrentDirectoryA("C:\\windows");
    const struct {
        const char* path;
        bool root;
    } cases[] = {
        /* 0 */ {"C:\\", true},
        /* 1 */ {"C:", true},
        /* 2 */ {"\\", true},  // the current drive's root
        /* 3 */ {"C:\\.", true},
        /* 4 */ {"C:\\windows\\..", true},
        /* 5 */ {"c:\\", true},
        /* 6 */ {"C:\\windows", false},
        /* 7 */ {"C:\\windows\\", false},
        /* 8 */ {"\\windows", false},
        /* 9 */ {"system32", false},  // relative: C:\windows\system32
        /* 10 */ {"E:\\", false},     // no such drive here
        /* 11 */ {"", false},
        /* 12 */ {"C:\\no such folder\\", false},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
        EXPECT_EQ(cases[i].root, IsFixedDriveRoot(cases[i].path)) << "case " << i << ": " << cases[i].path;
    SetCurrentDirectoryA(previous);
}

TEST(FolderRulesWin, TheRunningSystem)
{
    // 64-bit Windows, for the 32-bit program and the 64-bit test build alike: the Windows
    // folder, the 32-bit and the 64-bit program-files folders.
    std::vector<std::string> expected = {"C:\\windows\\", "C:\\Program Files (x86)\\", "C:\\Program Files\\"};
    EXPECT_EQ(expected, SystemFolders());
    // The desktop's item list comes from the shell's allocator and goes back to it.
    IsUnusableFolder("D:\\warm-up");  // the shell keeps what it loads on first use
    {
        BstrSpy spy;
        long live = spy.Live();
        EXPECT_FALSE(IsUnusableFolder("D:\\Data"));
        EXPECT_EQ(live, spy.Live()) << "the desktop's item list was not freed";
    }
    EXPECT_TRUE(IsUnusableFolder("C:\\Windows"));
    EXPECT_TRUE(IsUnusableFolder("C:\\Program Files\\Other"));
    EXPECT_TRUE(IsUnusableFolder("C:\\users\\root\\Desktop"));
    EXPECT_TRUE(IsUnusableFolder("C:\\users\\someone\\Documents"));
    EXPECT_TRUE(IsUnusableFolder("C:\\usersData"));  // the root is searched as plain text
    EXPECT_FALSE(IsUnusableFolder("C:\\Users\\root"));  // ...case-sensitively
    EXPECT_FALSE(IsUnusableFolder("C:\\Windows2"));
    EXPECT_FALSE(IsUnusableFolder("E:\\"));
    EXPECT_FALSE(IsUnusableFolder("work"));
    std::string program = ProgramFolder();
    EXPECT_TRUE(IsInsideProgramFolder((program + "kamiwork").c_str()));
    EXPECT_FALSE(IsInsideProgramFolder(program.substr(0, program.size() - 1).c_str()));
    // Written inside the program's folder, resolved to the Windows folder: no exemption,
    // and the Windows folder is seen through the "..".
    std::string up = program;
    for (size_t i = 3; i < program.size(); ++i)
        up += program[i] == '\\' ? "..\\" : "";
    char windir[MAX_PATH];
    GetEnvironmentVariableA("windir", windir, sizeof windir);
    const std::string escaped = up + (windir + 3);
    EXPECT_FALSE(IsInsideProgramFolder(escaped.c_str())) << escaped;
    if (toupper(program[0]) == toupper(windir[0])) {  // the program on the Windows folder's drive
        EXPECT_TRUE(IsUnusableFolder(escaped.c_str())) << escaped;
    }
}

// The \\?\ form every long folder path is made and removed through: the full path, and
// for a network path the UNC form with the server's two backslashes gone.
TEST(FolderTools, ExtendedPaths)
{
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    SetCurrentDirectoryA(ProgramFolder().c_str());
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
    SetCurrentDirectoryA(previous);
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
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    std::string line = "\"" + folder + "\\folder_tests.exe\" --gtest_filter=PlacedProgram.*";
    ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    EXPECT_EQ(0u, code) << "the placed copy's checks failed";
    DeleteFileA((folder + "\\folder_tests.exe").c_str());
    if (made)
        RemoveDirectoryA(folder.c_str());
}

TEST_F(Browser, ConfirmedFolderIsStoredAndShownAsStatus)
{
    Fresh(Work());
    std::string chosen = Work() + "\\" + Ansi(u8"バックアップ表");
    CreateDirectoryA(chosen.c_str(), nullptr);
    char full[MAX_PATH];
    GetFullPathNameA(chosen.c_str(), MAX_PATH, full, nullptr);
    script.answer = full;
    char path[260] = "E:\\previous";
    EXPECT_TRUE(BrowseForFolder(Ansi(u8"エクスポート先を選択してください。").c_str(), path, sizeof path));
    EXPECT_EQ(std::string(full), path);
    EXPECT_EQ(Ansi(u8"エクスポート先を選択してください。"), script.title);
    EXPECT_EQ(UINT(BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT), script.flags);
    EXPECT_EQ("E:\\previous", script.initial);
    ASSERT_EQ(2u, script.sentToBrowser.size());
    EXPECT_EQ(UINT(BFFM_SETSELECTIONA), script.sentToBrowser[0].first);
    EXPECT_EQ("E:\\previous", script.sentToBrowser[0].second);
    EXPECT_EQ(UINT(BFFM_SETSTATUSTEXTA), script.sentToBrowser[1].first);
    EXPECT_EQ(std::string(full), script.sentToBrowser[1].second);
}

TEST_F(Browser, CancelLeavesTheTextAsItWas)
{
    char path[260] = "E:\\previous";
    EXPECT_FALSE(BrowseForFolder("t", path, sizeof path));
    EXPECT_STREQ("E:\\previous", path);
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

    // Files and sub-folders go; the folder itself stays.
    CreateDirectoryTree((box + "\\sub\\deeper").c_str());
    WriteFile(box + "\\a.mdf", "a");
    WriteFile(box + "\\sub\\deeper\\" + Ansi(u8"表.txt"), "b");
    EXPECT_TRUE(DeleteFolderContents(box.c_str()));
    EXPECT_TRUE(Exists(box));
    EXPECT_FALSE(Exists(box + "\\a.mdf"));
    EXPECT_FALSE(Exists(box + "\\sub"));

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
    bool emptied = DeleteFolderContents((links + "\\box").c_str());
    EXPECT_EQ(emptied, !Exists(links + "\\box\\dirlink"));
    EXPECT_TRUE(Exists(links + "\\target\\precious.mdf"));
    EXPECT_TRUE(Exists(links + "\\target\\sub\\deep.mdf"));
    // Nor when the folder holding it is removed whole, as the export takes back its own.
    EXPECT_EQ(!Exists(links + "\\box\\dirlink"), RemoveFolderTree((links + "\\box").c_str()));
    EXPECT_TRUE(Exists(links + "\\target\\precious.mdf"));
    EXPECT_TRUE(Exists(links + "\\target\\sub\\deep.mdf"));
}
