// The floor for the tool's start-up: a dialog program of ours that connects to the
// stand-in server exactly as the tool does and shows one window, nothing else.
#include "ServerConnection.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    DatabaseServer* server = nullptr;
    HRESULT hr = ConnectDatabaseServer(&server);
    MessageBoxW(nullptr, SUCCEEDED(hr) ? L"connected" : L"not connected", L"StartupFloor", MB_OK);
    ReleaseDatabaseServer(&server);
    CoUninitialize();
    return SUCCEEDED(hr) ? 0 : 1;
}
