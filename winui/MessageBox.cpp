#include "MessageBox.h"

#include "Application.h"
#include "Dialog.h"

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

int AppMessageBox(const wchar_t* text, UINT flags)
{
    const char* caption = Caption();
    HWND owner = Dialog::DefaultOwner();
    flags = WithDefaultIcon(flags);
    if (g_wideHandler)
        return g_wideHandler(owner, text, caption, flags);
    if (g_handler) {
        int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
        char* ansi = static_cast<char*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, n > 0 ? n : 1));
        if (!ansi)
            return 0;
        WideCharToMultiByte(CP_ACP, 0, text, -1, ansi, n, nullptr, nullptr);
        int answer = g_handler(owner, ansi, caption, flags);
        HeapFree(GetProcessHeap(), 0, ansi);
        return answer;
    }
    int n = MultiByteToWideChar(CP_ACP, 0, caption, -1, nullptr, 0);
    wchar_t* wideCaption = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, (n > 0 ? n : 1) * sizeof(wchar_t)));
    if (wideCaption && n > 0)
        MultiByteToWideChar(CP_ACP, 0, caption, -1, wideCaption, n);
    int answer = MessageBoxW(owner, text, wideCaption ? wideCaption : L"", flags);
    if (wideCaption)
        HeapFree(GetProcessHeap(), 0, wideCaption);
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
