// Modal dialog from a template in the program's resources. Handlers are virtual
// members; the dialog procedure dispatches to them, as a framework dialog does.
#pragma once
#include <windows.h>

namespace winui {

// Moves text between a dialog's controls and the dialog object's members.
class DataExchange {
public:
    DataExchange(HWND dialog, bool save) : m_dialog(dialog), m_save(save) {}
    bool Saving() const { return m_save; }
    HWND Dialog() const { return m_dialog; }
    // Control text <-> buf (size bytes, terminator included). On saving, text that
    // does not fit, or that the ANSI code page cannot spell exactly, is refused: buf
    // keeps its value and the exchange fails.
    void Text(int id, char* buf, int size);
    // A group of radio buttons <-> the index of the checked one (-1: none).
    void Radio(const int* ids, int count, int* value);
    bool Failed() const { return m_failed; }

private:
    HWND m_dialog;
    bool m_save;
    bool m_failed = false;
};

class Dialog {
public:
    explicit Dialog(UINT templateId, HWND parent = nullptr);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog modally; returns the value given to EndDialog, or -1 when the
    // dialog could not be created. A dialog made with no parent is owned by the dialog
    // that is running, or by the application's main window.
    INT_PTR DoModal();

    HWND Hwnd() const { return m_hwnd; }
    HWND Item(int id) const { return GetDlgItem(m_hwnd, id); }
    void EndDialog(INT_PTR result);
    // Runs the data exchange; FALSE when a saved value was refused.
    BOOL UpdateData(BOOL save = TRUE);

    // The window of the innermost running modal dialog, or nullptr.
    static HWND ActiveModalWindow();
    // The owner the framework gives a dialog, message box or file dialog made with no
    // parent: the running modal dialog (the main window's last active popup), else the
    // main window. The owner is disabled while that window is shown.
    static HWND DefaultOwner();

protected:
    virtual BOOL OnInitDialog();             // default: data exchange into the controls
    virtual void OnOK();                     // default: data exchange out, EndDialog(IDOK)
    virtual void OnCancel();                 // default: EndDialog(IDCANCEL)
    virtual bool OnCommand(WORD id, WORD code, HWND control);
    virtual bool OnNotify(NMHDR* header, LRESULT* result);
    // Any other message; return true when handled, with *result the message's result.
    virtual bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual void DoDataExchange(DataExchange&) {}

private:
    static INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static INT_PTR Dispatch(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    UINT m_templateId;
    HWND m_parent;
    HWND m_hwnd = nullptr;
    Dialog* m_outer = nullptr;  // the modal dialog that was running when this one started
};

}  // namespace winui
