#include "FolderRules.h"

#include "MbText.h"

bool IsInsideFolderText(const char* path, const char* programFolder)
{
    return FindSubstring(path, programFolder) != nullptr;
}

bool IsUnderSystemFolder(const char* path, const std::vector<std::string>& systemFolders)
{
    // The closing backslash of each entry must match too: C:\Windows2 is not C:\Windows.
    std::string candidate = std::string(path) + "\\";
    for (const std::string& entry : systemFolders)
        if (StartsWithNoCase(candidate.c_str(), entry.c_str()))
            return true;
    return false;
}

std::string ProfileRootOf(const char* desktop)
{
    // A desktop redirected to a network share (\\server\home\taro\Desktop): the share,
    // \\server\home, is the root; cut at the second backslash it would be "\" alone.
    if (desktop[0] == '\\' && desktop[1] == '\\') {
        const char* server = FindChar(desktop + 2, '\\');
        const char* share = server ? FindChar(server + 1, '\\') : nullptr;
        return share ? std::string(desktop, share) : std::string(desktop);
    }
    const char* first = FindChar(desktop, '\\');
    const char* second = first ? FindChar(first + 1, '\\') : nullptr;
    if (!second)
        return desktop;
    return std::string(desktop, second);
}

bool IsVolumeRootText(const char* full, const char* volume)
{
    std::string closed = full;
    if (closed.empty() || FindLastChar(closed.c_str(), '\\') != closed.c_str() + closed.size() - 1)
        closed += '\\';
    return closed.size() == std::string(volume).size() && StartsWithNoCase(closed.c_str(), volume);
}

bool IsDriveRootText(const char* path)
{
    char c = path[0];
    bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    return letter && path[1] == ':' && (path[2] == '\0' || (path[2] == '\\' && path[3] == '\0'));
}
