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
    const char* first = FindChar(desktop, '\\');
    const char* second = first ? FindChar(first + 1, '\\') : nullptr;
    if (!second)
        return desktop;
    return std::string(desktop, second);
}

bool IsDriveRootText(const char* path)
{
    char c = path[0];
    bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    return letter && path[1] == ':' && (path[2] == '\0' || (path[2] == '\\' && path[3] == '\0'));
}
