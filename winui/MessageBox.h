// Message boxes of the program: captioned with the application's title and owned by
// the dialog that is running, as every message the tool shows must be.
#pragma once
#include <windows.h>

namespace winui {

// Shows text (ANSI) with the given MB_ flags; returns the button pressed. The system
// has no help file, so no help context is passed. As the framework's message box does,
// a box whose flags name no icon gets one (WithDefaultIcon); the handler below sees the
// flags the box is shown with.
int AppMessageBox(const char* text, UINT flags = MB_OK);
// The same with a string-table entry of the program.
int AppMessageBox(UINT stringId, UINT flags = MB_OK);
// The same with UTF-16 text: a message that names a file or folder as the user sees it,
// also where the ANSI code page cannot spell its name.
int AppMessageBox(const wchar_t* text, UINT flags = MB_OK);
// The same with text (and the caption) read in codePage, whatever the process's ANSI
// code page is: a message that must be readable where the ANSI calls would garble it.
int AppMessageBoxInCodePage(UINT codePage, const char* text, UINT flags = MB_OK);

// The flags with the framework's default icon where they name none: the exclamation
// mark for OK, OK/Cancel, Yes/No and Yes/No/Cancel boxes; none for the other kinds.
UINT WithDefaultIcon(UINT flags);

// Seam: a handler that stands in for the system's message box, so a test can record
// what the user would have seen and give the answer. nullptr restores the real one.
using MessageBoxHandler = int (*)(HWND owner, const char* text, const char* caption, UINT flags);
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
// The same for the UTF-16 boxes (a test sets both).
using WideMessageBoxHandler = int (*)(HWND owner, const wchar_t* text, const char* caption, UINT flags);
WideMessageBoxHandler SetWideMessageBoxHandler(WideMessageBoxHandler handler);

}  // namespace winui
