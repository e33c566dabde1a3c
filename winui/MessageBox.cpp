#include "MessageBox.h"

#include "Application.h"
#include "Dialog.h"

namespace winui {
namespace {
MessageBoxHandler g_handler = nullptr;
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
    Application* app = Application::Current();
    const char* caption = app ? app->Title() : "";
    HWND owner = Dialog::DefaultOwner();
    flags = WithDefaultIcon(flags);
    if (g_handler)
        return g_handler(owner, text, caption, flags);
    return MessageBoxA(owner, text, caption, flags);
}

int AppMessageBox(UINT stringId, UINT flags)
{
    char text[1024];
    if (LoadStringA(ResourceInstance(), stringId, text, sizeof text) <= 0)
        text[0] = '\0';
    return AppMessageBox(text, flags);
}

}  // namespace winui
