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

#ifdef _WIN32
// The shell's folder browser, preselecting path; on confirming a file-system folder its
// full path is stored in path (pathSize bytes) and the result is true. Cancel, a choice
// without a file-system path, or one that does not fit: false, path unchanged.
bool BrowseForFolder(const char* title, char* path, size_t pathSize);
#endif
