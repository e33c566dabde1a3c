#include "Dialog.h"

#include "Application.h"
#include "MessageBox.h"
#include "Texts.h"

#include <commctrl.h>

#include <new>

namespace winui {
namespace {
Dialog* g_innermost = nullptr;


// Templates place their dialogs at (0, 0); like a framework dialog, each opens centred
// on its owner, or on the work area when it has none, and stays on the screen.
void CenterOnOwner(HWND hwnd)
{
    RECT area;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    RECT around = area;
    HWND owner = GetWindow(hwnd, GW_OWNER);
    if (owner && IsWindowVisible(owner) && !IsIconic(owner))
        GetWindowRect(owner, &around);
    RECT rc;
    GetWindowRect(hwnd, &rc);
    int w = rc.right - rc.left, h = rc.bottom - rc.top;
    int x = around.left + ((around.right - around.left) - w) / 2;
    int y = around.top + ((around.bottom - around.top) - h) / 2;
    if (x + w > area.right) x = area.right - w;
    if (y + h > area.bottom) y = area.bottom - h;
    if (x < area.left) x = area.left;
    if (y < area.top) y = area.top;
    SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
}  // namespace

void DataExchange::Text(int id, char* buf, int size)
{
    HWND control = GetDlgItem(m_dialog, id);
    if (size <= 0)
        return;
    if (m_save) {
        // The control holds UTF-16; its length in ANSI bytes is known only after the
        // conversion (an edit control may count characters). Text that would not fit is
        // refused rather than cut, perhaps in the middle of a double-byte character.
        int wideLength = GetWindowTextLengthW(control);
        HANDLE heap = GetProcessHeap();
        wchar_t* wide = static_cast<wchar_t*>(HeapAlloc(heap, 0, (wideLength + 1) * sizeof(wchar_t)));
        if (!wide) {
            m_failed = true;
            return;
        }
        GetWindowTextW(control, wide, wideLength + 1);
        // Nor is text the code page cannot spell taken as another (a yen sign would
        // become a backslash by best fit, a Hangul name '?').
        BOOL usedDefault = FALSE;
        int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, nullptr, 0, nullptr, &usedDefault);
        if (bytes <= 0 || bytes > size || usedDefault) {
            HeapFree(heap, 0, wide);
            m_failed = true;
            return;
        }
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, buf, size, nullptr, nullptr);
        HeapFree(heap, 0, wide);
    } else {
        SetWindowTextA(control, buf);
    }
}

void DataExchange::Radio(const int* ids, int count, int* value)
{
    if (m_save) {
        *value = -1;
        for (int i = 0; i < count; ++i)
            if (IsDlgButtonChecked(m_dialog, ids[i]) == BST_CHECKED)
                *value = i;
    } else {
        for (int i = 0; i < count; ++i)
            CheckDlgButton(m_dialog, ids[i], i == *value ? BST_CHECKED : BST_UNCHECKED);
    }
}

Dialog::Dialog(UINT templateId, HWND parent) : m_templateId(templateId), m_parent(parent) {}

Dialog::~Dialog()
{
    if (m_hwnd)
        DestroyWindow(m_hwnd);
}

HWND Dialog::ActiveModalWindow()
{
    for (Dialog* d = g_innermost; d; d = d->m_outer)
        if (d->m_hwnd)
            return d->m_hwnd;
    return nullptr;
}

HWND Dialog::DefaultOwner()
{
    HWND owner = ActiveModalWindow();
    if (!owner && Application::Current())
        owner = Application::Current()->MainWindow();
    return owner;
}

INT_PTR Dialog::DoModal()
{
    HWND owner = m_parent ? m_parent : DefaultOwner();
    m_outer = g_innermost;
    g_innermost = this;
    INT_PTR result = DialogBoxParamA(ResourceInstance(), MAKEINTRESOURCEA(m_templateId), owner,
                                     &Dialog::Proc, reinterpret_cast<LPARAM>(this));
    g_innermost = m_outer;
    m_outer = nullptr;
    m_hwnd = nullptr;
    return result;
}

void Dialog::EndDialog(INT_PTR result)
{
    if (m_hwnd)
        ::EndDialog(m_hwnd, result);
}

BOOL Dialog::UpdateData(BOOL save)
{
    DataExchange dx(m_hwnd, save != FALSE);
    DoDataExchange(dx);
    return dx.Failed() ? FALSE : TRUE;
}

BOOL Dialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void Dialog::OnOK()
{
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void Dialog::OnCancel() { EndDialog(IDCANCEL); }

bool Dialog::OnCommand(WORD, WORD, HWND) { return false; }
bool Dialog::OnNotify(NMHDR*, LRESULT*) { return false; }
bool Dialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT*) { return false; }

INT_PTR CALLBACK Dialog::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    // The tool's own code throws nothing, but its strings and vectors throw when memory
    // runs out; no exception may cross into the system's dialog code. The user is told
    // (running out of memory is said as such, anything else is not), and a dialog that
    // was still opening does not open.
    const char* text;
    try {
        return Dispatch(hwnd, msg, wParam, lParam);
    } catch (const std::bad_alloc&) {
        text = text::kOutOfMemory;
    } catch (...) {
        text = text::kUnexpectedError;
    }
    AppMessageBox(text, MB_OK | MB_ICONSTOP);
    if (msg == WM_INITDIALOG)
        ::EndDialog(hwnd, -1);
    return TRUE;
}

INT_PTR Dialog::Dispatch(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Dialog* self;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        self->m_hwnd = hwnd;
        CenterOnOwner(hwnd);
        return self->OnInitDialog();
    }
    self = reinterpret_cast<Dialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    if (!self)
        return FALSE;

    switch (msg) {
    case WM_COMMAND: {
        WORD id = LOWORD(wParam), code = HIWORD(wParam);
        HWND control = reinterpret_cast<HWND>(lParam);
        if (self->OnCommand(id, code, control))
            return TRUE;
        if (code == BN_CLICKED || control == nullptr) {
            if (id == IDOK) {
                self->OnOK();
                return TRUE;
            }
            if (id == IDCANCEL) {
                self->OnCancel();
                return TRUE;
            }
        }
        return FALSE;
    }
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (self->OnNotify(reinterpret_cast<NMHDR*>(lParam), &result)) {
            SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
            return TRUE;
        }
        return FALSE;
    }
    case WM_NCDESTROY: {
        LRESULT ignored = 0;
        self->OnMessage(msg, wParam, lParam, &ignored);
        self->m_hwnd = nullptr;
        SetWindowLongPtrA(hwnd, DWLP_USER, 0);
        return FALSE;
    }
    default: {
        LRESULT result = 0;
        if (!self->OnMessage(msg, wParam, lParam, &result))
            return FALSE;
        // These messages return their result directly, not through DWLP_MSGRESULT.
        if (msg == WM_QUERYDRAGICON || msg == WM_CTLCOLORDLG || msg == WM_CTLCOLORSTATIC ||
            msg == WM_CTLCOLOREDIT || msg == WM_CTLCOLORBTN || msg == WM_CTLCOLORLISTBOX ||
            msg == WM_COMPAREITEM || msg == WM_VKEYTOITEM || msg == WM_CHARTOITEM)
            return static_cast<INT_PTR>(result);
        SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
    }
}

}  // namespace winui
