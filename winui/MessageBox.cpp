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

int AppMessageBox(const char* text, UINT flags)
{
    Application* app = Application::Current();
    const char* caption = app ? app->Title() : "";
    HWND owner = Dialog::ActiveModalWindow();
    if (!owner && app)
        owner = app->MainWindow();
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
