#include "FolderRules.h"

#include "Application.h"
#include "MbText.h"
#include "MessageBox.h"
#include "ProgramPath.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>

namespace {

std::string ProgramFolderText()
{
    char program[kPathBufferSize];
    if (!GetProgramFileName(program, sizeof program))
        return std::string();
    PathParts parts;
    SplitPath(program, &parts);
    return std::string(parts.drive) + parts.dir;
}

}  // namespace

bool IsInsideProgramFolder(const char* path)
{
    std::string folder = ProgramFolderText();
    return !folder.empty() && IsInsideFolderText(path, folder.c_str());
}

std::vector<std::string> SystemFolders()
{
    std::vector<std::string> list;
    char buf[kPathBufferSize];
    if (ExpandEnvironmentStringsA("%windir%\\", buf, sizeof buf) && std::strlen(buf) < sizeof buf)
        list.push_back(buf);
    if (ExpandEnvironmentStringsA("%ProgramFiles%\\", buf, sizeof buf) && std::strlen(buf) < sizeof buf)
        list.push_back(buf);
    // Only where the variable exists (a 32-bit program on 64-bit Windows).
    if (ExpandEnvironmentStringsA("%ProgramW6432%\\", buf, sizeof buf) && _stricmp(buf, "%ProgramW6432%\\") != 0)
        list.push_back(buf);
    return list;
}

bool IsSystemFolder(const char* path)
{
    return IsUnderSystemFolder(path, SystemFolders());
}

bool IsUnusableFolder(const char* path)
{
    if (IsSystemFolder(path))
        return true;
    winui::Application* app = winui::Application::Current();
    HWND owner = app ? app->MainWindow() : nullptr;
    LPITEMIDLIST desktop = nullptr;
    if (SHGetSpecialFolderLocation(owner, CSIDL_DESKTOP, &desktop) != S_OK || !desktop)
        return false;
    char desktopPath[kPathBufferSize];
    BOOL ok = SHGetPathFromIDListA(desktop, desktopPath);
    CoTaskMemFree(desktop);
    if (!ok) {
        winui::AppMessageBox("テクニカルエラー\n\nフォルダパスを正しく認識できませんでした。", 0, 0);
        return false;
    }
    std::string root = ProfileRootOf(desktopPath);
    return FindSubstring(path, root.c_str()) != nullptr;
}

bool IsFixedDriveRoot(const char* path)
{
    return IsDriveRootText(path) && GetDriveTypeA(path) == DRIVE_FIXED;
}
