#include "DatabaseAccess.h"

namespace {
DatabaseServer** g_slot = nullptr;
}

void DatabaseAccess::SetServerSlot(DatabaseServer** slot) { g_slot = slot; }

DatabaseServer* DatabaseAccess::Server() { return g_slot ? *g_slot : nullptr; }

long DatabaseAccess::SetServerSystemState(long state)
{
    DatabaseServer* server = Server();
    if (!server)
        return -1;
    return server->SetServerSystemState(state);
}
