#include "MaintenanceMenuDialog.h"

#include "AboutDialog.h"
#include "BookBackupDialog.h"
#include "Application.h"
#include "DatabaseAccess.h"
#include "EnvironmentSettingsDialog.h"
#include "MessageBox.h"
#include "Messages.h"
#include "ProgramPath.h"
#include "ServerNumbers.h"
#include "WaitCursor.h"
#include "resource.h"

bool g_bServerRestarted = false;
DWORD MaintenanceMenuDialog::s_restartWaitMs = 3000;

MaintenanceMenuDialog::MaintenanceMenuDialog()
    : winui::Dialog(IDD_MAINTENANCE_MENU),
      m_hIcon(LoadIconA(winui::ResourceInstance(), MAKEINTRESOURCEA(IDR_MAINFRAME)))
{
}

BOOL MaintenanceMenuDialog::OnInitDialog()
{
    winui::Dialog::OnInitDialog();
    if (winui::Application* app = winui::Application::Current())
        app->SetMainWindow(Hwnd());

    HMENU systemMenu = GetSystemMenu(Hwnd(), FALSE);
    if (systemMenu) {
        char about[256];
        if (LoadStringA(winui::ResourceInstance(), IDS_ABOUTBOX, about, sizeof about) > 0) {
            AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
            AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, about);
        }
    }
    SendMessageA(Hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageA(Hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    return TRUE;
}

bool MaintenanceMenuDialog::OnCommand(WORD id, WORD code, HWND)
{
    if (code != BN_CLICKED)
        return false;
    switch (id) {
    case IDC_BOOK_BACKUP:
        OnBookBackup();
        return true;
    case IDC_ENVIRONMENT:
        OnEnvironmentSettings();
        return true;
    default:
        return false;
    }
}

bool MaintenanceMenuDialog::OnMessage(UINT msg, WPARAM wParam, LPARAM, LRESULT* result)
{
    switch (msg) {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
            OnAboutBox();
            *result = 0;
            return true;
        }
        return false;
    case WM_PAINT:
        if (!IsIconic(Hwnd()))
            return false;
        OnPaintIconic();
        *result = 0;
        return true;
    case WM_QUERYDRAGICON:
        *result = reinterpret_cast<LRESULT>(m_hIcon);
        return true;
    case WM_DESTROY:
        if (winui::Application* app = winui::Application::Current())
            if (app->MainWindow() == Hwnd())
                app->SetMainWindow(nullptr);
        return false;
    default:
        return false;
    }
}

void MaintenanceMenuDialog::OnAboutBox()
{
    AboutDialog about;
    about.DoModal();
}

void MaintenanceMenuDialog::OnPaintIconic()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(Hwnd(), &ps);
    SendMessageA(Hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT rc;
    GetClientRect(Hwnd(), &rc);
    int x = (rc.right - rc.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (rc.bottom - rc.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(Hwnd(), &ps);
}

void MaintenanceMenuDialog::OnBookBackup()
{
    // RariveMenu.ini lies in the folder above the program's folder; other programs of
    // the system record there whether BOOKs are carried out to this PC.
    char iniPath[kPathBufferSize];
    int carrying = 0;
    if (ProgramParentFolderFile("RariveMenu", "ini", iniPath, sizeof iniPath))
        carrying = static_cast<int>(GetPrivateProfileIntA("General", "Carrying", 0, iniPath));
    if (carrying == 0) {
        winui::AppMessageBox(msg::kNothingCarried, MB_OK);
        return;
    }
    if (!ConfirmServerRestart())
        return;
    RunBookBackupDialog();
}

int MaintenanceMenuDialog::ConfirmServerRestart()
{
    if (g_bServerRestarted)
        return 1;
    if (winui::AppMessageBox(msg::kRestartServer, MB_OKCANCEL | MB_ICONINFORMATION) != IDOK)
        return 0;
    winui::BeginWaitCursor();
    DatabaseAccess access;
    access.SetServerSystemState(kServerStop);
    access.SetServerSystemState(kServerStart);
    Sleep(s_restartWaitMs);
    winui::EndWaitCursor();
    g_bServerRestarted = true;
    return 1;
}

void MaintenanceMenuDialog::OnEnvironmentSettings()
{
    RunEnvironmentSettingsDialog();
}

void MaintenanceMenuDialog::RunBookBackupDialog()
{
    BookBackupDialog backup;
    backup.DoModal();
}

void MaintenanceMenuDialog::RunEnvironmentSettingsDialog()
{
    EnvironmentSettingsDialog settings;
    settings.DoModal();
}
