// Folder names made of a free text, and the shell's folder browser of the dialogs (the
// file-system layer is FileSystem.h).
#pragma once
#include <cstddef>

// text cut before the first character file names may not hold (\ / : * ? " < > |),
// double-byte aware, into out (outSize bytes; the result is never longer than text).
void TruncateAtInvalidNameChar(const char* text, char* out, size_t outSize);

// Whether Windows would make a new folder of exactly this name inside another folder:
// not empty; no character file names may not hold, no control character; not ending in
// a dot or a blank (".", "..", "...", " ", "工事." all resolve to another folder); not a
// device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$, in any letter case,
// with or without an extension); no double-byte character cut in half.
bool IsPlainFolderName(const char* name);

// Whether Windows takes every name along path as written: none ends in a dot or a blank
// ("E:\\backup." is E:\\backup, another folder), none is a device name ("C:\\x\\CON" is
// the console). "." and ".." are taken for what they are.
bool IsPathAsWritten(const char* path);

#ifdef _WIN32
#include <windows.h>

#include <string>

// The shell's folder browser, preselecting path; on confirming a file-system folder its
// full path is stored in path (pathSize bytes) and the result is true. Cancel, a choice
// without a file-system path, or one that does not fit: false, path unchanged. A folder
// whose name the code page cannot spell is refused, the user told (TakeSpelledPath).
bool BrowseForFolder(const char* title, char* path, size_t pathSize);

// A path the system gave in UTF-16 (a browser, a file dialog, an edit control) into out
// (outSize bytes) when the code page spells it exactly, Windows takes it as written
// (IsPathAsWritten) and it fits. A path it would read as another is never taken: the
// user is told (kUnspellablePath, naming it as they see it) and the result is Refused;
// where it does not fit, TooLong, said by the caller.
enum class TakenPath { Taken, Refused, TooLong };
TakenPath TakeSpelledPath(const wchar_t* path, char* out, size_t outSize);
// Whether the data exchange took the text of a path field as it stands (the member
// holds it); otherwise why not, the user told where the code page cannot spell it.
TakenPath TakenFieldText(HWND field, const char* member);
#endif
