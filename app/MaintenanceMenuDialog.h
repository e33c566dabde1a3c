// The program's main window: backup of carried-out BOOKs, work-folder settings, close.
#pragma once
#include "Dialog.h"

// Set once the user confirmed the restart of the server system in this run.
extern bool g_bServerRestarted;

class MaintenanceMenuDialog : public winui::Dialog {
public:
    MaintenanceMenuDialog();

    void OnBookBackup();
    void OnEnvironmentSettings();
    // 1 to go on to the backup dialog, 0 to stop.
    int ConfirmServerRestart();

    // How long the server system gets to come back after the restart (ms).
    static DWORD s_restartWaitMs;

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    // The two dialogs the buttons lead to.
    virtual void RunBookBackupDialog();
    virtual void RunEnvironmentSettingsDialog();

private:
    void OnAboutBox();  // the system menu's About item
    void OnPaintIconic();

    HICON m_hIcon;
};
