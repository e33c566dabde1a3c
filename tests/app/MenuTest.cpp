// The maintenance menu: the two gates in front of the backup dialog (RariveMenu.ini in
// the folder above the program, the once-per-run restart), the settings button, the
// About item, and the dialog as a user meets it.
#include "FakeDatabaseServer.h"
#include "MaintenanceMenuDialog.h"
#include "DatabaseAccess.h"
#include "MessageBox.h"
#include "Support.h"
#include "WaitCursor.h"
#include "resource.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

const std::string kNoBook = Ansi(u8"持ち出しているBOOKはありません");
const std::string kRestartPrompt = Ansi(
    u8"サーバーシステムを再起動します。\nサーバーに接続しているアプリケーションを終了させてください。\n"
    u8"その後に「ＯＫ」ボタンを押してください。");

// The fake notes whether the wait cursor was up during each restart call.
class RestartServer : public FakeDatabaseServer {
public:
    LONG STDMETHODCALLTYPE SetServerSystemState(LONG state) override
    {
        waitCursorDuringCall.push_back(winui::WaitCursorDepth() > 0);
        return FakeDatabaseServer::SetServerSystemState(state);
    }
    std::vector<bool> waitCursorDuringCall;
};

class CountingMenu : public MaintenanceMenuDialog {
public:
    int backupDialogs = 0;
    int settingsDialogs = 0;
    std::vector<std::string> restartCallsAtBackup;
    const FakeDatabaseServer* server = nullptr;

protected:
    void RunBookBackupDialog() override
    {
        ++backupDialogs;
        if (server)
            restartCallsAtBackup = server->calls;
    }
    void RunEnvironmentSettingsDialog() override { ++settingsDialogs; }
};

class MenuGates : public testing::Test {
protected:
    void SetUp() override
    {
        g_bServerRestarted = false;
        MaintenanceMenuDialog::s_restartWaitMs = 0;
        DatabaseAccess::SetServerSlot(&serverPointer);
        RemoveFile(parentIni);
        RemoveFile(besideIni);
    }
    void TearDown() override
    {
        RemoveFile(parentIni);
        RemoveFile(besideIni);
        DatabaseAccess::SetServerSlot(nullptr);
        g_bServerRestarted = false;
    }
    void Carrying(const std::string& path, const char* value)
    {
        WriteFile(path, std::string("[General]\r\nCarrying=") + value + "\r\n");
    }

    RestartServer server;
    DatabaseServer* serverPointer = &server;
    // The test program lies in .../testbin/app_tests/bin/; the system's file is one up.
    std::string parentIni = ProgramFolder() + "..\\RariveMenu.ini";
    std::string besideIni = ProgramFolder() + "RariveMenu.ini";
};

}  // namespace

TEST_F(MenuGates, NoBooksCarriedOutShowsTheMessageAndNothingElse)
{
    struct Case {
        const char* parent;  // Carrying in the folder above; nullptr: no file
        const char* beside;  // Carrying beside the program; nullptr: no file
    };
    const Case cases[] = {
        /* 0 */ {nullptr, nullptr},
        /* 1 */ {"0", nullptr},
        /* 2 */ {nullptr, "1"},  // the file beside the program is not the system's
        /* 3 */ {"", nullptr},
        /* 4 */ {"abc", nullptr},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        RemoveFile(parentIni);
        RemoveFile(besideIni);
        if (cases[i].parent)
            Carrying(parentIni, cases[i].parent);
        if (cases[i].beside)
            Carrying(besideIni, cases[i].beside);
        MessageBoxRecorder boxes;
        CountingMenu menu;
        menu.OnBookBackup();
        ASSERT_EQ(1u, boxes.Shown().size());
        EXPECT_EQ(kNoBook, boxes.Shown()[0].text) << Utf8(boxes.Shown()[0].text);
        EXPECT_EQ(UINT(MB_OK | MB_ICONEXCLAMATION), boxes.Shown()[0].flags);  // the framework's icon
        EXPECT_EQ(0, menu.backupDialogs);
        EXPECT_TRUE(server.calls.empty());
    }
}

TEST_F(MenuGates, CancelKeepsAskingOkRestartsOnceForTheWholeRun)
{
    Carrying(parentIni, "2");
    MessageBoxRecorder boxes;
    boxes.Answer(IDCANCEL);
    boxes.Answer(IDCANCEL);
    boxes.Answer(IDOK);
    CountingMenu menu;
    menu.server = &server;

    menu.OnBookBackup();  // Cancel
    menu.OnBookBackup();  // Cancel again: asked again
    EXPECT_EQ(0, menu.backupDialogs);
    EXPECT_TRUE(server.calls.empty());
    EXPECT_FALSE(g_bServerRestarted);

    menu.OnBookBackup();  // OK: stop, start, then the backup dialog
    EXPECT_EQ(1, menu.backupDialogs);
    const std::vector<std::string> restart = {"SetServerSystemState(0)", "SetServerSystemState(1)"};
    EXPECT_EQ(restart, menu.restartCallsAtBackup);
    EXPECT_EQ(std::vector<bool>({true, true}), server.waitCursorDuringCall);
    EXPECT_EQ(0, winui::WaitCursorDepth());
    EXPECT_TRUE(g_bServerRestarted);

    menu.OnBookBackup();  // no prompt, no restart
    menu.OnBookBackup();
    EXPECT_EQ(3, menu.backupDialogs);
    EXPECT_EQ(restart, server.calls);

    ASSERT_EQ(3u, boxes.Shown().size());
    for (const ShownMessage& shown : boxes.Shown()) {
        EXPECT_EQ(kRestartPrompt, shown.text) << Utf8(shown.text);
        EXPECT_EQ(UINT(MB_OKCANCEL | MB_ICONINFORMATION), shown.flags);
    }
}

TEST_F(MenuGates, CarryingReadAfreshAtEveryPress)
{
    MessageBoxRecorder boxes;
    CountingMenu menu;
    Carrying(parentIni, "1");
    menu.OnBookBackup();
    EXPECT_EQ(1, menu.backupDialogs);
    Carrying(parentIni, "0");
    menu.OnBookBackup();
    EXPECT_EQ(1, menu.backupDialogs);
    ASSERT_EQ(2u, boxes.Shown().size());
    EXPECT_EQ(kNoBook, boxes.Shown()[1].text);
}

TEST_F(MenuGates, SettingsButtonNeverPromptsOrRestarts)
{
    Carrying(parentIni, "1");
    MessageBoxRecorder boxes;
    CountingMenu menu;
    menu.OnEnvironmentSettings();
    menu.OnEnvironmentSettings();
    EXPECT_EQ(2, menu.settingsDialogs);
    EXPECT_TRUE(boxes.Shown().empty());
    EXPECT_TRUE(server.calls.empty());
    EXPECT_FALSE(g_bServerRestarted);
}

// The real dialog, driven as a user would: buttons clicked, the About item chosen from
// the system menu, closed with Esc.
TEST_F(MenuGates, TheMenuAsTheUserSeesIt)
{
    Carrying(parentIni, "1");
    MessageBoxRecorder boxes;
    CountingMenu menu;
    menu.server = &server;
    HWND menuWindow = nullptr;
    std::string menuCaption, aboutCaption, aboutLine, systemMenuItem;
    std::vector<std::string> buttons;
    int systemMenuSeparatorBeforeItem = 0;
    bool focusOnClose = false, hadIcon = false;

    std::vector<std::function<bool()>> steps = {
        [&] {
            menuWindow = menu.Hwnd();
            if (!menuWindow)
                return false;
            menuCaption = WindowText(menuWindow);
            for (int id : {IDOK, IDC_BOOK_BACKUP, IDC_ENVIRONMENT})
                buttons.push_back(WindowText(GetDlgItem(menuWindow, id)));
            // The dialog manager gives the focus to the first tab stop: "閉じる".
            focusOnClose = GetNextDlgTabItem(menuWindow, nullptr, FALSE) == GetDlgItem(menuWindow, IDOK) &&
                           LOWORD(SendMessageA(menuWindow, DM_GETDEFID, 0, 0)) == IDOK;
            hadIcon = SendMessageA(menuWindow, WM_GETICON, ICON_BIG, 0) != 0 &&
                      SendMessageA(menuWindow, WM_GETICON, ICON_SMALL, 0) != 0;
            HMENU sys = GetSystemMenu(menuWindow, FALSE);
            int count = GetMenuItemCount(sys);
            char text[256] = "";
            GetMenuStringA(sys, count - 1, text, sizeof text, MF_BYPOSITION);
            systemMenuItem = text;
            systemMenuSeparatorBeforeItem =
                (GetMenuItemID(sys, count - 1) == IDM_ABOUTBOX) &&
                (GetMenuState(sys, count - 2, MF_BYPOSITION) & MF_SEPARATOR);
            PostClick(menuWindow, IDC_BOOK_BACKUP);
            return true;
        },
        [&] { return menu.backupDialogs == 1; },
        [&] {
            PostMessageA(menuWindow, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
            return true;
        },
        [&] {
            HWND about = FindThreadWindow(Ansi(u8"OrvelClientToolのﾊﾞｰｼﾞｮﾝ情報"));
            if (!about)
                return false;
            aboutCaption = WindowText(about);
            HWND child = GetWindow(about, GW_CHILD);
            for (; child; child = GetWindow(child, GW_HWNDNEXT))
                if (WindowText(child) == "OrvelClientTool Version 1.0")
                    aboutLine = WindowText(child);
            PostClick(about, IDOK);
            return true;
        },
        [&] { return FindThreadWindow(aboutCaption) == nullptr; },
        [&] {
            PostClick(menuWindow, IDC_ENVIRONMENT);
            return true;
        },
        [&] { return menu.settingsDialogs == 1; },
        [&] {
            // Esc in any control of the dialog (the focus may be with another program's
            // window while tests run side by side).
            PostMessageA(GetDlgItem(menuWindow, IDC_ENVIRONMENT), WM_KEYDOWN, VK_ESCAPE, 0);
            return true;
        },
    };
    ModalDriver driver(steps);
    INT_PTR result = menu.DoModal();
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ(Ansi(u8"メンテナンス（クライアント用）"), menuCaption);
    EXPECT_EQ(std::vector<std::string>({Ansi(u8"閉じる"), Ansi(u8"持ち出し中のBOOKのバックアップ"),
                                        Ansi(u8"環境設定")}),
              buttons);
    EXPECT_TRUE(focusOnClose);
    EXPECT_TRUE(hadIcon);
    EXPECT_EQ(Ansi(u8"OrvelClientTool のﾊﾞｰｼﾞｮﾝ情報(&A)..."), systemMenuItem);
    EXPECT_TRUE(systemMenuSeparatorBeforeItem);
    EXPECT_EQ("OrvelClientTool Version 1.0", aboutLine);
    // The restart prompt came before the backup dialog, owned by the menu.
    ASSERT_EQ(1u, boxes.Shown().size());
    EXPECT_EQ(kRestartPrompt, boxes.Shown()[0].text);
    EXPECT_EQ(menuWindow, boxes.Shown()[0].owner);
    EXPECT_EQ(2u, server.calls.size());
}

TEST_F(MenuGates, EnterOnTheMenuClosesIt)
{
    CountingMenu menu;
    ModalDriver driver({[&] {
        if (!menu.Hwnd())
            return false;
        // Enter on the menu presses its default button, "閉じる".
        PostMessageA(GetDlgItem(menu.Hwnd(), IDC_BOOK_BACKUP), WM_KEYDOWN, VK_RETURN, 0);
        return true;
    }});
    EXPECT_EQ(IDOK, menu.DoModal());
    EXPECT_EQ(0, menu.backupDialogs);
}
