// The application object: one static instance per program, started by WinMain.
// Like a framework application it runs InitInstance, a message loop only when
// InitInstance returns TRUE, then ExitInstance, and ends OLE if it was started.
#pragma once
#include <windows.h>

namespace winui {

class Application {
public:
    Application();
    virtual ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Runs the program; the result is the process exit code.
    int Run(HINSTANCE instance);

    virtual BOOL InitInstance() { return FALSE; }
    virtual int ExitInstance() { return 0; }

    // Initialises OLE for this thread (single-threaded apartment) and installs the
    // message filter; OLE is ended after ExitInstance. FALSE when OLE could not start.
    BOOL InitOle();

    // The title every message box carries: the executable's base name, as the
    // framework gives a program that defines no title string.
    const char* Title() const { return m_title; }

    HWND MainWindow() const { return m_mainWindow; }
    void SetMainWindow(HWND hwnd) { m_mainWindow = hwnd; }
    HINSTANCE Instance() const { return m_instance; }

    static Application* Current() { return s_current; }

private:
    HINSTANCE m_instance = nullptr;
    HWND m_mainWindow = nullptr;
    bool m_oleStarted = false;
    char m_title[MAX_PATH] = {};
    static Application* s_current;
};

// The running program's instance handle (resources are loaded from it).
HINSTANCE ResourceInstance();

}  // namespace winui
