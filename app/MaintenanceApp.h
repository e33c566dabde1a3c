// The application object: start-up with its environment check, the connection to
// the database server, the maintenance menu, and shutdown.
#pragma once
#include "Application.h"
#include "DatabaseServer_h.h"

class MaintenanceApp : public winui::Application {
public:
    MaintenanceApp();

    BOOL InitInstance() override;
    int ExitInstance() override;

    // True when the registry shows a PC with only the client part of the system.
    static bool CheckEnvironment();

    // The program's only reference to the server, from start-up to exit.
    DatabaseServer* m_pServer = nullptr;

protected:
    // Runs the menu as the program's main window (tests drive it from here).
    virtual void RunMenu();
};
