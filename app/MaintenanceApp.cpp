#include "MaintenanceApp.h"

#include "DatabaseAccess.h"
#include "MaintenanceMenuDialog.h"
#include "MessageBox.h"
#include "Messages.h"
#include "MessageFilter.h"
#include "ProgramPath.h"
#include "RegistryReader.h"
#include "ServerConnection.h"
#include "WideText.h"
#include "resource.h"

#include <commctrl.h>
#include <mbctype.h>
#include <mbstring.h>

#include <cstdio>

namespace {
const char kSystemTypePath[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\OrvelServer\\SystemType";
const char kMobilePath[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\OrvelServer\\Mobile";
const char kServerPartKey[] = "SOFTWARE\\TamskServer";
// A long server call (a backup) must never bring up a dialog of its own.
const DWORD kMessagePendingDelayMs = 600000;
// Shift-JIS: the code page of every text of the tool.
const UINT kJapaneseCodePage = 932;
}  // namespace

MaintenanceApp::MaintenanceApp()
{
    DatabaseAccess::SetServerSlot(&m_pServer);
}

BOOL MaintenanceApp::InitInstance()
{
    // Every text of the tool is Shift-JIS, shown through the ANSI calls. The manifest
    // asks for that code page (Windows 11 gives it whatever the system's settings);
    // where the process still has another, the tool says so readably and ends, having
    // touched nothing.
    if (GetACP() != kJapaneseCodePage) {
        winui::AppMessageBoxInCodePage(kJapaneseCodePage, msg::kNotJapaneseCodePage, MB_OK);
        return FALSE;
    }
    // The runtime's double-byte functions follow the system's ANSI code page.
    _setmbcp(_MB_CP_ANSI);

    if (!InitOle()) {
        winui::AppMessageBox(IDP_OLE_INIT_FAILED, MB_OK);
        return FALSE;
    }
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_USEREX_CLASSES};
    InitCommonControlsEx(&controls);
    winui::SetMessagePendingDelay(kMessagePendingDelayMs);

    // Every settings file lies beside the program or above it: a folder the code page
    // cannot spell would be read as another, so the tool works on nothing there.
    const std::wstring program = ProgramFileNameAsIs();
    std::string spelled;
    if (!program.empty() && !NarrowExactly(program.c_str(), &spelled)) {
        winui::AppMessageBox(FormatWithName(msg::kUnspellableProgramFolder, program).c_str(), MB_OK);
        return FALSE;
    }

    if (!CheckEnvironment()) {
        winui::AppMessageBox(msg::kNotClientOnly, MB_OK);
        return FALSE;
    }

    HRESULT hr = ConnectDatabaseServer(&m_pServer);
    if (FAILED(hr)) {
        winui::AppMessageBox(FormatText(msg::kConnectionFailed, static_cast<long>(hr)).c_str(), MB_OK);
        return FALSE;
    }

    RunMenu();
    return FALSE;
}

void MaintenanceApp::RunMenu()
{
    MaintenanceMenuDialog menu;
    menu.DoModal();
}

int MaintenanceApp::ExitInstance()
{
    ReleaseDatabaseServer(&m_pServer);
    return winui::Application::ExitInstance();
}

bool MaintenanceApp::CheckEnvironment()
{
    char systemType[kPathBufferSize];
    if (!ReadRegistryString(kSystemTypePath, systemType, sizeof systemType))
        return false;
    if (_mbsicmp(reinterpret_cast<const unsigned char*>(systemType),
                 reinterpret_cast<const unsigned char*>("CS")) != 0)
        return false;
    DWORD mobile = 0;
    if (!ReadRegistryNumber(kMobilePath, &mobile) || mobile != 1)
        return false;
    // The server part of the system must not be installed here; a key we may not
    // open counts as absent.
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServerPartKey, 0, KEY_READ | KEY_WOW64_32KEY, &key) ==
        ERROR_SUCCESS) {
        RegCloseKey(key);
        return false;
    }
    return true;
}
