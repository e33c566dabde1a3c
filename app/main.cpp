// Entry point of OrvelClientTool.
#include "MaintenanceApp.h"

namespace {
// The one application object, alive for the whole process.
MaintenanceApp theApp;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    return theApp.Run(instance);
}
