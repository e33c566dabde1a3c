// The program's one connection to the database server component.
#pragma once
#include "DatabaseServer_h.h"

#include <windows.h>

// Activates the server on this PC and stores its interface in *slot. Returns the last
// HRESULT: negative means no usable server. A pointer that was stored before a later
// step failed stays in *slot, for ReleaseDatabaseServer to release.
HRESULT ConnectDatabaseServer(DatabaseServer** slot);

// Releases the interface held in *slot, if any, and clears it. Returns 1.
int ReleaseDatabaseServer(DatabaseServer** slot);

// Whether a call's result says the server process is gone (it ended or was ended, or
// the connection to it broke) rather than that the server refused the operation.
bool IsConnectionLost(long code);
// Of those, the results that prove the call never reached a server (it had ended before
// the call was made): such a call may be made again on a new connection.
bool NeverReachedServer(long code);
