// "持ち出し中のBOOKのバックアップ": the shelves holding carried-out BOOKs and their BOOKs,
// export of the selected BOOK into a folder, import of a BOOK from a backup file.
#pragma once
#include "BookTransfer.h"
#include "CarriedBookCatalogue.h"
#include "Dialog.h"

#include <commctrl.h>

#include <string>

// What the dialog shows the user about a check or an outcome: the text (empty: nothing
// to show) and the message-box flags.
struct Notice {
    std::string text;
    UINT flags;
};
Notice DestinationNotice(DestinationCheck check, const std::string& destination);
Notice ExportNotice(const ExportOutcome& outcome, const std::string& siteName);
Notice ImportNotice(const ImportOutcome& outcome, const std::string& file);

class BookBackupDialog : public winui::Dialog {
public:
    explicit BookBackupDialog(HWND parent = nullptr);
    ~BookBackupDialog() override;

    // The catalogue (read once when the dialog opens) and the two lists.
    int LoadCatalogue();
    void FillShelfCombo();
    void FillBookList();
    // A copy of the catalogue's record of the BOOK; false when there is none.
    bool FindBookRecord(int32_t bookId, BookRecord* record) const;

    // "実行": the selected BOOKs backed up into the destination, or the BOOK of the
    // chosen backup file restored; every outcome shown to the user.
    void ExportBooks();
    void ImportBook();

    const CarriedBookCatalogue& Catalogue() const { return m_catalogue; }
    int Mode() const { return m_mode; }

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    void DoDataExchange(winui::DataExchange& dx) override;

private:
    void UpdateControlStates();
    void OnModeChanged();
    void OnBrowseExportFolder();
    void OnBrowseImportFile();
    void OnShelfSelChange();
    void OnDestroy();
    void FreeCatalogue();

    int m_mode = -1;                 // 0 export, 1 import, -1 before the dialog opens
    char m_exportFolder[kPathBufferSize] = "";
    char m_importFile[kPathBufferSize] = "";
    HIMAGELIST m_imageList = nullptr;
    CarriedBookCatalogue m_catalogue = {};
};
