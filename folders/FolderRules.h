// The checks every folder the user names passes: the Windows and program-files folders
// and everything under the user-profile root are refused, except the program's own
// folder tree. They only answer; the caller shows the message.
#pragma once
#include <string>
#include <vector>

// The rules on given facts (pure; the native tests use them too).
bool IsInsideFolderText(const char* path, const char* programFolder);
bool IsUnderSystemFolder(const char* path, const std::vector<std::string>& systemFolders);
// The user-profile root: the desktop path cut before its second backslash. A desktop
// directly below a drive root leaves no such root; the desktop folder itself is used.
// A desktop on a network share (\\server\share\...) has \\server\share as its root.
std::string ProfileRootOf(const char* desktop);

// Whether path is written as a drive root: "X:\" or "X:".
bool IsDriveRootText(const char* path);
// Whether the full path full (with or without its closing backslash) is the volume path
// volume (which ends in one), letter case aside: a drive's root or the folder a volume is
// mounted on.
bool IsVolumeRootText(const char* full, const char* volume);

#ifdef _WIN32
// The root of a fixed drive (C:\, C:, \, or a folder a fixed volume is mounted on):
// refused as a destination or work folder. Only what the system resolves to a volume's
// root is asked about; Wine answers DRIVE_FIXED for every folder of a fixed drive, where
// Windows answers so for a root alone.
bool IsFixedDriveRoot(const char* path);

// The same on the running system, determined afresh at each call.
bool IsInsideProgramFolder(const char* path);
bool IsUnusableFolder(const char* path);
bool IsSystemFolder(const char* path);
std::vector<std::string> SystemFolders();
#endif
