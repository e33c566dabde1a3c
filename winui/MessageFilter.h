// The thread's OLE message filter. Server calls are synchronous and may take minutes
// (a backup of a large BOOK); the filter decides what the user sees meanwhile.
// This framework never shows a busy or not-responding dialog: the user interface keeps
// painting, input waits, and a call the server rejects as busy is retried.
#pragma once
#include <windows.h>

namespace winui {

void InstallMessageFilter();
void RemoveMessageFilter();

// How long (ms) a call may wait with input pending before the framework would step in;
// a call rejected as busy is retried for at most this long.
void SetMessagePendingDelay(DWORD ms);

}  // namespace winui
