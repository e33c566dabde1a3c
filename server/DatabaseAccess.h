// The tool's only way to the server: every call converts its text, calls the server
// through the application's one interface pointer and frees what it made. Stateless:
// a caller makes one on its own stack for one task.
#pragma once
#include "DatabaseServer_h.h"

#include <windows.h>

class DatabaseAccess {
public:
    // Where the application keeps its interface pointer; read afresh at every call.
    static void SetServerSlot(DatabaseServer** slot);

    // The server's code unchanged; -1 when no interface pointer is held.
    long SetServerSystemState(long state);

private:
    static DatabaseServer* Server();
};
