// The file-system layer of the export, the work folder and the dialogs: make a folder
// path or a new folder, remove or empty a folder tree, the long-path form, the system's
// last error.
#pragma once
#include <string>
#include <vector>

// The system's error for the call that just failed, or fallback when it left none.
long LastErrorOr(unsigned long fallback);

// The \\?\ form of text's full path (\\?\UNC\server\share\... for a network path),
// which no path-length rule of the A and W calls applies to; empty when text is no
// valid multibyte text or its full path does not fit a path buffer.
std::wstring ExtendedPath(const char* text);

// Creates every missing folder along path (a drive path or \\server\share\...), then
// path itself. False when path is 260 bytes or longer, malformed, passes through
// something that is not a folder, or a creation fails; GetLastError then says why.
// The folders this call made, and only those, are added to *created in the order made
// (also when it fails part of the way), so a caller can take back exactly what it made.
bool CreateDirectoryTree(const char* path, std::vector<std::string>* created = nullptr);

// Makes the one folder path names (its parent must exist), also where the path is too
// long for CreateDirectoryA. False when anything is already there under that name
// (ERROR_ALREADY_EXISTS) or the creation fails, GetLastError telling why: a folder this
// call made is the caller's own, since nobody else had it before.
bool CreateNewFolder(const char* path);

// Removes folder and everything in it, names beginning with a dot included, whatever
// their length (through the \\?\ form of its full path). A link inside is removed as a
// link. True when nothing of it is left.
bool RemoveFolderTree(const char* folder);

// Deletes everything inside folder (given without a trailing backslash), recursively;
// the folder itself remains, and so does the entry directly in it named spare (if
// given, in any letter case). True when all was deleted or the folder cannot be searched;
// false at the first entry that cannot be deleted, with GetLastError telling why. Names
// beginning with a dot are passed over. A link (junction or symbolic link) is removed as
// a link: what it points to is never entered.
bool DeleteFolderContents(const char* folder, const char* spare = nullptr);
