#include "MessageBox.h"

#include "Application.h"
#include "Dialog.h"

#include <new>

namespace winui {
namespace {
MessageBoxHandler g_handler = nullptr;
WideMessageBoxHandler g_wideHandler = nullptr;

// Every box is captioned with the application's title.
const char* Caption()
{
    Application* app = Application::Current();
    return app ? app->Title() : "";
}
}  // namespace

WideMessageBoxHandler SetWideMessageBoxHandler(WideMessageBoxHandler handler)
{
    WideMessageBoxHandler old = g_wideHandler;
    g_wideHandler = handler;
    return old;
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler)
{
    MessageBoxHandler old = g_handler;
    g_handler = handler;
    return old;
}

UINT WithDefaultIcon(UINT flags)
{
    if (flags & MB_ICONMASK)
        return flags;
    switch (flags & MB_TYPEMASK) {
    case MB_OK:
    case MB_OKCANCEL:
    case MB_YESNO:
    case MB_YESNOCANCEL:
        return flags | MB_ICONEXCLAMATION;
    default:  // the rarely used kinds get no icon of the framework's
        return flags;
    }
}

int AppMessageBox(const char* text, UINT flags)
{
    const char* caption = Caption();
    HWND owner = Dialog::DefaultOwner();
    flags = WithDefaultIcon(flags);
    if (g_handler)
        return g_handler(owner, text, caption, flags);
    return MessageBoxA(owner, text, caption, flags);
}

namespace {
// A UTF-16 box, its caption (the application's title) read in codePage.
int WideBox(const wchar_t* text, UINT codePage, UINT flags)
{
    const char* caption = Caption();
    HWND owner = Dialog::DefaultOwner();
    flags = WithDefaultIcon(flags);
    if (g_wideHandler)
        return g_wideHandler(owner, text, caption, flags);
    // The application's title is short: a cut one still ends.
    wchar_t wideCaption[256] = L"";
    MultiByteToWideChar(codePage, 0, caption, -1, wideCaption, 255);
    wideCaption[255] = L'\0';
    return MessageBoxW(owner, text, wideCaption, flags);
}
}  // namespace

int AppMessageBox(const wchar_t* text, UINT flags) { return WideBox(text, CP_ACP, flags); }

int AppMessageBoxInCodePage(UINT codePage, const char* text, UINT flags)
{
    int n = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    wchar_t* wide = n > 0 ? new (std::nothrow) wchar_t[static_cast<size_t>(n)] : nullptr;
    if (wide)
        MultiByteToWideChar(codePage, 0, text, -1, wide, n);
    int answer = WideBox(wide ? wide : L"", codePage, flags);
    delete[] wide;
    return answer;
}

int AppMessageBox(UINT stringId, UINT flags)
{
    char text[1024];
    if (LoadStringA(ResourceInstance(), stringId, text, sizeof text) <= 0)
        text[0] = '\0';
    return AppMessageBox(text, flags);
}

}  // namespace winui
