// The file-system layer of the export, the work folder and the dialogs: make a folder
// path or a new folder, remove or empty a folder tree, the long-path form, the system's
// last error. What is read from the disk, removed or moved goes through the wide calls:
// names on the disk are UTF-16, and one the code page cannot spell would come back from
// the ANSI calls as '?' or as another path (the yen sign U+00A5 as a backslash). A path
// the tool holds in ANSI is widened exactly here, and no name read from the disk is ever
// turned into ANSI and back into a path.
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

// What is under a path, without following it: a junction or symbolic link (any reparse
// point whose tag names another place, or whose tag is not known, also where the entry
// cannot be listed) is a link; a cloud file's placeholder folder is a folder.
enum class PathKind { Missing, File, Folder, Link };
PathKind KindOf(const char* path);

// Removes folder, a folder of the tool's own, and everything in it, names beginning with
// a dot included, whatever their names and length (through the \\?\ form of its full
// path). A link inside is removed as a link. True when nothing of it is left.
bool RemoveFolderTree(const char* folder);

// Deletes everything inside folder, a folder of the user's (given without a trailing
// backslash), recursively; the folder itself remains, and so does the entry directly in
// it named spare (if given, in any letter case). Every BOOK backup (a file named *.mdf,
// in any letter case, at any depth) stays, with the folders that lead to it: it may be
// another BOOK's only copy. Names beginning with a dot are passed over, and a read-only
// entry is left as the user set it. True when all else was deleted or there is no such
// folder; false at the first entry that cannot be deleted, or when the folder is there
// but cannot be searched or its listing breaks off, with GetLastError telling why. A
// link (junction or symbolic link) is removed as a link: what it points to is never
// entered.
bool DeleteFolderContents(const char* folder, const char* spare = nullptr);

// Whether folder holds files only, each named one of names (any letter case); an empty
// folder does too. False for a folder that cannot be searched, or whose listing breaks
// off.
bool HoldsOnlyFilesNamed(const char* folder, const std::vector<std::string>& names);

// MoveFileEx of two paths the tool holds, through their wide \\?\ forms; GetLastError
// tells why it failed.
bool MovePath(const char* from, const char* to, unsigned long flags);
