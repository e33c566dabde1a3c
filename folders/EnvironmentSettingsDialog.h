// "環境設定": shows the work folder, lets the user type or browse another, checks it,
// creates it on request and stores it.
#pragma once
#include "BufferSize.h"
#include "Dialog.h"

class EnvironmentSettingsDialog : public winui::Dialog {
public:
    explicit EnvironmentSettingsDialog(HWND parent = nullptr);
    const char* WorkFolder() const { return m_workFolder; }

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    void DoDataExchange(winui::DataExchange& dx) override;

private:
    void OnBrowse();
    char m_workFolder[kPathBufferSize] = "";
};
