// Message boxes of the program: captioned with the application's title and owned by
// the dialog that is running, as every message the tool shows must be.
#pragma once
#include <windows.h>

namespace winui {

// Shows text (ANSI) with the given MB_ flags; returns the button pressed. The system
// has no help file, so no help context is passed.
int AppMessageBox(const char* text, UINT flags = MB_OK);
// The same with a string-table entry of the program.
int AppMessageBox(UINT stringId, UINT flags = MB_OK);

// Seam: a handler that stands in for the system's message box, so a test can record
// what the user would have seen and give the answer. nullptr restores the real one.
using MessageBoxHandler = int (*)(HWND owner, const char* text, const char* caption, UINT flags);
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

}  // namespace winui
