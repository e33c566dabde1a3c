#include "Application.h"

#include "MessageFilter.h"

#include <ole2.h>

namespace winui {

Application* Application::s_current = nullptr;

Application::Application()
{
    s_current = this;
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path)
        path[0] = '\0';
    // Base name without extension; the module name is ASCII-safe to scan from the end
    // only through the double-byte aware helpers, so split it by hand here.
    const char* base = path;
    for (const char* p = path; *p; p = CharNextA(p))
        if (*p == '\\' || *p == '/' || *p == ':')
            base = p + 1;
    lstrcpynA(m_title, base, sizeof m_title);
    char* dot = nullptr;
    for (char* p = m_title; *p; p = CharNextA(p))
        if (*p == '.')
            dot = p;
    if (dot && dot != m_title)
        *dot = '\0';
}

Application::~Application()
{
    if (s_current == this)
        s_current = nullptr;
}

BOOL Application::InitOle()
{
    if (FAILED(OleInitialize(nullptr)))
        return FALSE;
    m_oleStarted = true;
    InstallMessageFilter();
    return TRUE;
}

int Application::Run(HINSTANCE instance)
{
    m_instance = instance;
    int code = 0;
    if (InitInstance()) {
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    code = ExitInstance();
    if (m_oleStarted) {
        RemoveMessageFilter();
        OleUninitialize();
        m_oleStarted = false;
    }
    return code;
}

HINSTANCE ResourceInstance()
{
    Application* app = Application::Current();
    if (app && app->Instance())
        return app->Instance();
    return GetModuleHandleA(nullptr);
}

}  // namespace winui
