// The work folder: read from Dbaccess.ini beside the program, shown, checked, created and
// stored by the settings dialog.
#include "EnvironmentSettingsDialog.h"
#include "FileSystem.h"
#include "ShellDialogs.h"
#include "Support.h"
#include "WorkFolder.h"
#include "resource.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <fstream>
#include <iterator>

using namespace testsupport;

namespace {

bool IsFolder(const std::string& path)
{
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class WorkFolder : public testing::Test {
protected:
    void SetUp() override
    {
        RemoveFile(ini);
        RemoveTree(ProgramFolder() + "kamiwork");
        RemoveTree(root);
        CreateDirectoryA(root.c_str(), nullptr);
    }
    void TearDown() override { RemoveFile(ini); }

    void Store(const std::string& value)
    {
        WriteFile(ini, "[Other]\r\nKeep=1\r\n[Path]\r\nWorkPath=" + value + "\r\nNote=x\r\n");
    }

    // Opens the dialog and closes it with ｷｬﾝｾﾙ; what it showed.
    std::string Shown()
    {
        EnvironmentSettingsDialog dialog;
        std::string shown;
        ModalDriver driver({[&] {
            if (!dialog.Hwnd())
                return false;
            shown = WindowText(GetDlgItem(dialog.Hwnd(), IDC_WORK_FOLDER));
            PostClick(dialog.Hwnd(), IDCANCEL);
            return true;
        }});
        EXPECT_EQ(IDCANCEL, dialog.DoModal());
        return shown;
    }

    // Runs the dialog: the text typed into the edit, then "設定"; the dialog's result
    // (-2: still open after a refusal, closed by the test) and what the edit held then.
    INT_PTR Enter(const std::string& typed, std::string* shown = nullptr, std::string* left = nullptr,
                  int expectedBoxes = -1)
    {
        EnvironmentSettingsDialog dialog;
        bool closedByTest = false;
        std::vector<std::function<bool()>> steps = {
            [&] { return dialog.Hwnd() != nullptr; },
            [&] {
                if (shown)
                    *shown = WindowText(GetDlgItem(dialog.Hwnd(), IDC_WORK_FOLDER));
                if (wideTyped.empty())
                    SetDlgItemTextA(dialog.Hwnd(), IDC_WORK_FOLDER, typed.c_str());
                else
                    SetDlgItemTextW(dialog.Hwnd(), IDC_WORK_FOLDER, wideTyped.c_str());
                PostClick(dialog.Hwnd(), IDOK);
                return true;
            },
            [&] {
                // Still open after a refusal: note the text and close it.
                if (!dialog.Hwnd())
                    return true;
                if (expectedBoxes >= 0 && static_cast<int>(boxes.Shown().size()) < expectedBoxes)
                    return false;
                if (left)
                    *left = WindowText(GetDlgItem(dialog.Hwnd(), IDC_WORK_FOLDER));
                closedByTest = true;
                PostMessageA(dialog.Hwnd(), WM_COMMAND, IDCANCEL, 0);
                return true;
            }};
        ModalDriver driver(steps);
        INT_PTR result = dialog.DoModal();
        return closedByTest ? -2 : result;
    }

    std::string ini = ProgramFolder() + "Dbaccess.ini";
    std::wstring wideTyped;  // typed instead, where the code page cannot spell it
    std::string root = TestFolder("workroot");
    MessageBoxRecorder boxes;
};

std::string Repeat(const std::string& s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

const std::string kUnusable = Ansi(u8"指定されたフォルダは適切ではありません。（使用できないフォルダです。）\n再度設定してください。");

}  // namespace

TEST_F(WorkFolder, WhatTheDialogShowsFirst)
{
    const std::string r = FullPath(root);
    struct Case {
        const char* stored;  // nullptr: no file
        std::string shown;
    };
    const std::string hyo = r + "\\" + Ansi(u8"作業表");
    const Case cases[] = {
        /* 0 */ {nullptr, ProgramFolder() + "kamiwork"},
        /* 1 */ {"", ProgramFolder() + "kamiwork"},
        /* 2 */ {"@double", r + "\\Work"},
        /* 3 */ {"@hyo", hyo},
        /* 4 */ {"@259", r + "\\" + std::string(259 - r.size() - 1, 'f')},  // the most the dialog stores
        /* 5 */ {"@full", ProgramFolder() + "kamiwork"},  // 260 bytes: no path of ours, perhaps cut, not used
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        const Case& c = cases[i];
        RemoveFile(ini);
        RemoveTree(ProgramFolder() + "kamiwork");
        std::string stored = c.stored ? c.stored : "";
        if (stored == "@double")
            stored = r + "\\Work\\\\";
        else if (stored == "@hyo")
            stored = hyo;
        else if (stored == "@259")
            stored = c.shown;
        else if (stored == "@full")
            stored = r + "\\" + std::string(260 - r.size() - 1, 'f');
        if (c.stored)
            Store(stored);
        std::string before = c.stored ? Read(ini) : "";
        std::string shown = Shown();
        EXPECT_EQ(c.shown, shown) << Utf8(shown);
        EXPECT_TRUE(IsFolder(c.shown)) << "opening the dialog creates the folder shown";
        if (c.stored) {
            EXPECT_EQ(before, Read(ini)) << "opening the dialog changes nothing in the file";
        }
        if (std::string(c.stored ? c.stored : "") == "@full") {
            EXPECT_FALSE(IsFolder(stored)) << "no folder is made from a cut path";
        }
    }
}

TEST_F(WorkFolder, RefusedFoldersKeepTheDialogOpenWithTheText)
{
    struct Case {
        std::string typed;
        std::string message;
        const char* wide = nullptr;  // UTF-8, typed instead
    };
    const Case cases[] = {
        /* 0 */ {Expand("%windir%\\temp"), kUnusable},
        /* 1 */ {Expand("%ProgramFiles%\\Other"), kUnusable},
        /* 2 */ {Expand("%USERPROFILE%\\Documents"), kUnusable},
        /* 3 */ {Expand("%SystemDrive%\\"), Ansi(u8"ドライブを指定することはできません。\n再度設定してください。")},
        /* 4 */ {"C:\\" + std::string(300, 'x'), kUnusable},  // beyond the 260-byte buffers
        /* 5 */ {"C:\\" + std::string(140, 'x') + Repeat(Ansi(u8"表"), 60),
                 kUnusable},  // few characters, too many bytes
        // A name the code page cannot spell (a yen sign would become a backslash).
        /* 6 */ {"", Ansi(u8"「C:\\見積") + "<U+00A5>" + Ansi(u8"2026」の名前には、このツールで使用できない文字が含まれています。\n"
                                                      u8"名前を変えるか、別の場所を指定してください。"),
                 u8"C:\\見積¥2026"},
        // A folder Windows would read as another (C:\OrvelWork, or the console).
        /* 7 */ {"C:\\OrvelWork.", Ansi(u8"「C:\\OrvelWork.") + Ansi(u8"」の名前には、このツールで使用できない文字が含まれています。\n"
                                                      u8"名前を変えるか、別の場所を指定してください。")},
        /* 8 */ {"C:\\x\\CON\\y", Ansi(u8"「C:\\x\\CON\\y") + Ansi(u8"」の名前には、このツールで使用できない文字が含まれています。\n"
                                                      u8"名前を変えるか、別の場所を指定してください。")},
    };
    ASSERT_EQ(263u, cases[5].typed.size());  // 203 characters, 263 bytes
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        size_t before = boxes.Shown().size();
        wideTyped = cases[i].wide ? Utf16(cases[i].wide) : L"";
        std::string left;
        EXPECT_EQ(-2, Enter(cases[i].typed, nullptr, &left, static_cast<int>(before) + 1));
        ASSERT_EQ(before + 1, boxes.Shown().size());
        EXPECT_EQ(cases[i].message, boxes.Shown().back().text) << Utf8(boxes.Shown().back().text);
        EXPECT_EQ(UINT(MB_OK | MB_ICONEXCLAMATION), boxes.Shown().back().flags);  // the framework's icon
        if (cases[i].typed.size() < 260 && !cases[i].wide) {
            EXPECT_EQ(cases[i].typed, left);
        }
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(ini.c_str())) << "nothing is stored";
    }
}

TEST_F(WorkFolder, AMissingFolderIsCreatedOnRequestAndStored)
{
    Store("old");
    const std::string full = FullPath(root);
    std::string wanted = full + "\\New\\" + Ansi(u8"作業表");
    boxes.Answer(IDOK);
    EXPECT_EQ(IDOK, Enter(wanted));
    ASSERT_EQ(1u, boxes.Shown().size());
    EXPECT_EQ(Ansi(u8"指定された作業フォルダは存在しません。作成してよろしいですか？"), boxes.Shown()[0].text);
    EXPECT_EQ(UINT(MB_OKCANCEL | MB_ICONQUESTION), boxes.Shown()[0].flags);
    EXPECT_TRUE(IsFolder(full + "\\New"));
    EXPECT_TRUE(IsFolder(wanted));
    char stored[260];
    GetPrivateProfileStringA("Path", "WorkPath", "", stored, sizeof stored, ini.c_str());
    EXPECT_EQ(wanted, stored);
    // The other keys and sections are as they were.
    EXPECT_EQ(1u, GetPrivateProfileIntA("Other", "Keep", 0, ini.c_str()));
    GetPrivateProfileStringA("Path", "Note", "", stored, sizeof stored, ini.c_str());
    EXPECT_STREQ("x", stored);
}

TEST_F(WorkFolder, CancelOnTheQuestionStoresNothing)
{
    Store("old");
    std::string before = Read(ini);
    boxes.Answer(IDCANCEL);
    EXPECT_EQ(IDOK, Enter(FullPath(root) + "\\Never"));
    EXPECT_FALSE(IsFolder(FullPath(root) + "\\Never"));
    EXPECT_EQ(before, Read(ini));
}

TEST_F(WorkFolder, ARelativeNameIsStoredAsEntered)
{
    CurrentFolder here(root);
    boxes.Answer(IDOK);
    EXPECT_EQ(IDOK, Enter("work"));
    EXPECT_TRUE(IsFolder(root + "\\work"));
    char stored[260];
    GetPrivateProfileStringA("Path", "WorkPath", "", stored, sizeof stored, ini.c_str());
    EXPECT_STREQ("work", stored);
}

TEST_F(WorkFolder, CreateDirectoryTree)
{
    WriteFile(root + "\\afile", "x");
    CreateDirectoryA((root + "\\there").c_str(), nullptr);
    // Folders whose full path is 248 characters or more, which Windows makes only through
    // the \\?\ form: written in full, with "..", and relative to the current folder.
    const std::string r = FullPath(root);
    const std::string longName(250 - r.size(), 'L'), longer(249 - r.size(), 'M'), relative(249 - r.size(), 'R');
    CurrentFolder here(r);
    struct Case {
        std::string path;
        bool result;
        DWORD error;                    // when false: what GetLastError says
        std::vector<std::string> made;  // below root, in the order made
    };
    const Case cases[] = {
        /* 0 */ {"C:", false, ERROR_BAD_PATHNAME, {}},
        /* 1 */ {"C:\\", false, ERROR_BAD_PATHNAME, {}},
        /* 2 */ {"\\\\server", false, ERROR_BAD_PATHNAME, {}},
        /* 3 */ {root + "\\afile\\below", false, ERROR_DIRECTORY, {}},
        /* 4 */ {root + "\\afile", false, ERROR_DIRECTORY, {}},
        /* 5 */ {root + "\\a\\b\\c\\", true, 0, {"\\a", "\\a\\b", "\\a\\b\\c"}},
        /* 6 */ {root + "\\" + Ansi(u8"工程表\\ソフト"), true, 0, {"\\" + Ansi(u8"工程表"), "\\" + Ansi(u8"工程表\\ソフト")}},
        /* 7 */ {"C:\\" + std::string(300, 'x'), false, ERROR_FILENAME_EXCED_RANGE, {}},
        /* 8 */ {root + "\\there\\new", true, 0, {"\\there\\new"}},  // what was there is not noted
        /* 9 */ {root + "\\made\\bad<name\\c", false, ERROR_INVALID_NAME, {"\\made"}},  // failed part way
        /* 10 */ {r + "\\" + longName + "\\", true, 0, {"\\" + longName}},
        /* 11 */ {r + "\\there\\..\\" + longer, true, 0, {"\\there\\..\\" + longer}},
        /* 12 */ {relative, true, 0, {relative}},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const Case& c = cases[i];
        std::vector<std::string> made;
        SetLastError(0);
        EXPECT_EQ(c.result, CreateDirectoryTree(c.path.c_str(), &made)) << "case " << i;
        if (!c.result) {
            EXPECT_EQ(c.error, GetLastError()) << "case " << i;
        }
        for (std::string& m : made)
            m = m.compare(0, root.size(), root) == 0 ? m.substr(root.size()) : m.compare(0, r.size(), r) == 0 ? m.substr(r.size()) : m;
        EXPECT_EQ(c.made, made) << "case " << i;
    }
    EXPECT_TRUE(IsFolder(root + "\\a\\b\\c"));
    EXPECT_TRUE(IsFolder(root + "\\" + Ansi(u8"工程表")));
    for (const std::string& name : {longName, longer, relative})
        EXPECT_TRUE(IsFolder(r + "\\" + name)) << name.size();
}

// A folder that cannot be made, or a setting that cannot be written, is no success: the
// user is told what was not done and the system's code. A path whose folder could not be
// made is still stored and the dialog closes; a setting that could not be written leaves
// the file as it was and the dialog open, the text as entered, to be put right or
// cancelled.
TEST_F(WorkFolder, WhatCannotBeMadeOrSavedIsReported)
{
    const std::string r = FullPath(root);
    WriteFile(r + "\\afile", "x");
    struct Case {
        std::string typed;
        bool held;  // another program has Dbaccess.ini open, sharing nothing
        std::vector<std::string> messages;  // UTF-8
        const char* stored;  // WorkPath afterwards
    };
    const std::string question = u8"指定された作業フォルダは存在しません。作成してよろしいですか？";
    const std::string notSaved = u8"作業フォルダの設定を「" + Utf8(ini) + u8"」に保存できませんでした。32";
    const Case cases[] = {
        /* 0 */ {r + "\\afile\\below", false, {question, u8"作業フォルダ「" + Utf8(r) + u8"\\afile\\below」を作成できませんでした。267"}, "@typed"},
        /* 1 */ {r, true, {notSaved}, "old"},
        /* 2 */ {r + "\\new", true, {question, notSaved}, "old"},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        const Case& c = cases[i];
        Store("old");
        size_t before = boxes.Shown().size();
        boxes.Answer(IDOK);
        HANDLE held = c.held ? CreateFileA(ini.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)
                             : INVALID_HANDLE_VALUE;
        std::string left;
        EXPECT_EQ(c.held ? -2 : IDOK, Enter(c.typed, nullptr, &left, static_cast<int>(before + c.messages.size())));
        if (c.held) {
            EXPECT_EQ(c.typed, left);
        }
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        std::vector<std::string> texts;
        for (size_t k = before; k < boxes.Shown().size(); ++k) {
            texts.push_back(Utf8(boxes.Shown()[k].text));
            EXPECT_EQ(k == before && c.messages.size() > 1 ? UINT(MB_OKCANCEL | MB_ICONQUESTION) : UINT(MB_OK | MB_ICONSTOP),
                      boxes.Shown()[k].flags);
        }
        EXPECT_EQ(c.messages, texts);
        char stored[260];
        GetPrivateProfileStringA("Path", "WorkPath", "", stored, sizeof stored, ini.c_str());
        EXPECT_EQ(std::string(c.stored) == "@typed" ? c.typed : c.stored, stored);
    }
}
