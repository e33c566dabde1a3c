#include "EnvironmentSettingsDialog.h"

#include "FolderRules.h"
#include "FolderTools.h"
#include "MessageBox.h"
#include "Messages.h"
#include "WorkFolder.h"
#include "resource.h"

#include <cstring>

EnvironmentSettingsDialog::EnvironmentSettingsDialog(HWND parent) : winui::Dialog(IDD_ENVIRONMENT, parent) {}

void EnvironmentSettingsDialog::DoDataExchange(winui::DataExchange& dx)
{
    dx.Text(IDC_WORK_FOLDER, m_workFolder, sizeof m_workFolder);
}

BOOL EnvironmentSettingsDialog::OnInitDialog()
{
    winui::Dialog::OnInitDialog();
    char folder[kPathBufferSize];
    GetWorkFolder(folder, sizeof folder);
    std::strcpy(m_workFolder, folder);
    // The folder passes through 260-byte buffers: no more than 259 characters may be
    // typed (the byte length is checked again on OK).
    SendDlgItemMessageA(Hwnd(), IDC_WORK_FOLDER, EM_LIMITTEXT, sizeof m_workFolder - 1, 0);
    UpdateData(FALSE);
    return TRUE;
}

void EnvironmentSettingsDialog::OnBrowse()
{
    UpdateData(TRUE);
    BrowseForFolder(label::kChooseWorkFolder, m_workFolder, sizeof m_workFolder);
    UpdateData(FALSE);
}

void EnvironmentSettingsDialog::OnOK()
{
    // Text longer than 259 bytes would not fit the system's buffers: refused like any
    // folder that cannot be used, the text left as entered. Text the code page cannot
    // spell, or that Windows would read as another folder, is refused with its own
    // message.
    const bool exchanged = UpdateData(TRUE) != FALSE;
    const TakenPath taken = TakenFieldText(Item(IDC_WORK_FOLDER), m_workFolder);
    if (taken == TakenPath::TooLong)
        winui::AppMessageBox(msg::kUnusableFolder);
    if (!exchanged || taken != TakenPath::Taken)
        return;
    if (!IsInsideProgramFolder(m_workFolder) && IsUnusableFolder(m_workFolder)) {
        winui::AppMessageBox(msg::kUnusableFolder);
        return;
    }
    if (IsFixedDriveRoot(m_workFolder)) {
        winui::AppMessageBox(msg::kDriveRoot);
        return;
    }
    WorkFolderSave saved = SaveWorkFolder(m_workFolder, [] {
        return winui::AppMessageBox(msg::kCreateWorkFolder, MB_OKCANCEL | MB_ICONQUESTION) == IDOK;
    });
    if (saved.notMade)
        winui::AppMessageBox(FormatText(msg::kWorkFolderNotMade, m_workFolder, saved.notMade).c_str(), MB_OK | MB_ICONSTOP);
    // A setting that was not saved keeps the dialog open, the text as entered: the user
    // can put it right or cancel, and closing it never looks like a save.
    if (saved.kind == WorkFolderSave::NotSaved) {
        winui::AppMessageBox(FormatText(msg::kWorkFolderNotSaved, saved.iniPath.c_str(), saved.code).c_str(),
                             MB_OK | MB_ICONSTOP);
        return;
    }
    EndDialog(IDOK);
}

bool EnvironmentSettingsDialog::OnCommand(WORD id, WORD code, HWND)
{
    if (id == IDC_BROWSE_WORK_FOLDER && code == BN_CLICKED) {
        OnBrowse();
        return true;
    }
    return false;
}
