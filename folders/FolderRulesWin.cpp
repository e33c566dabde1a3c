#include "FolderRules.h"

#include "Application.h"
#include "MbText.h"
#include "MessageBox.h"
#include "Messages.h"
#include "ProgramPath.h"
#include "WideText.h"

#include <windows.h>
#include <shlobj.h>

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

// Adds the folder an environment variable names, with a trailing backslash, when the
// variable is set and its folder fits a path buffer.
bool AddVariableFolder(const char* variable, std::vector<std::string>* list)
{
    std::string text = std::string("%") + variable + "%\\";
    char buf[kPathBufferSize];
    DWORD needed = ExpandEnvironmentStringsA(text.c_str(), buf, sizeof buf);
    if (needed == 0 || needed > sizeof buf || _stricmp(buf, text.c_str()) == 0)
        return false;
    list->push_back(buf);
    return true;
}

// The folder as the system resolves it: "." and ".." gone, relative to the current
// folder, the \\?\ and \\.\ forms without their prefix, and short (8.3) names of the
// folders that exist in their long form: "C:\\PROGRA~2\\Other" and "\\\\?\\C:\\Windows\\Temp"
// are the folders they name. Empty when it cannot be resolved into a path buffer; false
// when its long form is a name the code page cannot spell.
bool ResolvedPath(const char* path, std::string* resolved)
{
    resolved->clear();
    std::wstring text;
    wchar_t full[MAX_PATH];
    if (!*path || !Widen(path, &text))
        return true;
    DWORD n = GetFullPathNameW(text.c_str(), MAX_PATH, full, nullptr);
    if (n == 0 || n >= MAX_PATH)
        return true;
    std::wstring form = full;
    if (form.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        form = L"\\\\" + form.substr(8);
    else if (form.compare(0, 4, L"\\\\?\\") == 0 || form.compare(0, 4, L"\\\\.\\") == 0)
        form = form.substr(4);
    // The long form of the part that exists, the rest as written; a closing backslash
    // (kept) is no name of its own.
    std::wstring rest;
    while (form.size() > 3 && form.back() == L'\\') {
        form.pop_back();
        rest = L"\\";
    }
    wchar_t longForm[MAX_PATH];
    for (;;) {
        DWORD m = GetLongPathNameW(form.c_str(), longForm, MAX_PATH);
        if (m > 0 && m < MAX_PATH) {
            form = longForm;
            break;
        }
        size_t cut = form.find_last_of(L'\\');
        if (cut == std::wstring::npos || cut < 3 || cut + 1 >= form.size())
            break;
        rest = form.substr(cut) + rest;
        form.erase(cut);
    }
    form += rest;
    if (!NarrowExactly(form.c_str(), resolved))
        return false;
    if (resolved->size() >= kPathBufferSize)
        resolved->clear();
    return true;
}

// The user-profile root, from the desktop's path; false when the shell gives none (said
// to the user when it has the folder but no path for it).
bool ProfileRoot(std::string* root)
{
    winui::Application* app = winui::Application::Current();
    HWND owner = app ? app->MainWindow() : nullptr;
    LPITEMIDLIST desktop = nullptr;
    if (SHGetSpecialFolderLocation(owner, CSIDL_DESKTOP, &desktop) != S_OK || !desktop)
        return false;
    char desktopPath[kPathBufferSize];
    BOOL ok = SHGetPathFromIDListA(desktop, desktopPath);
    CoTaskMemFree(desktop);
    if (!ok) {
        winui::AppMessageBox(msg::kTechnicalFolderError);
        return false;
    }
    *root = ProfileRootOf(desktopPath);
    return true;
}

}  // namespace

// The exemption holds for the folder as typed and as the system resolves it alike:
// "<program folder>\\..\\..\\Windows" is written inside the program's folder but is the
// Windows folder. Resolved, both are compared as the disk spells them, without regard
// to letter case: a program started as C:\\WINDOWS\\TOOL\\T.EXE lies in C:\\Windows\\Tool.
bool IsInsideProgramFolder(const char* path)
{
    std::string folder = ProgramFolderText();
    std::string full, resolvedFolder;
    return !folder.empty() && IsInsideFolderText(path, folder.c_str()) && ResolvedPath(path, &full) && !full.empty() &&
           ResolvedPath(folder.c_str(), &resolvedFolder) && !resolvedFolder.empty() &&
           StartsWithNoCase(full.c_str(), resolvedFolder.c_str());
}

std::vector<std::string> SystemFolders()
{
    std::vector<std::string> list;
    AddVariableFolder("windir", &list);
    // The 32-bit program folder: %ProgramFiles(x86)% on 64-bit Windows (for a 32-bit and a
    // 64-bit process alike), %ProgramFiles% on 32-bit Windows.
    if (!AddVariableFolder("ProgramFiles(x86)", &list))
        AddVariableFolder("ProgramFiles", &list);
    // The 64-bit program folder, only on 64-bit Windows.
    AddVariableFolder("ProgramW6432", &list);
    return list;
}

bool IsSystemFolder(const char* path)
{
    return IsUnderSystemFolder(path, SystemFolders());
}

// Refused as typed or as the system resolves it: "." and "..", the \\?\ form and short
// names can lead a harmless text into the Windows folder or the profile. A folder whose
// long name the code page cannot spell cannot be judged, and is refused.
bool IsUnusableFolder(const char* path)
{
    std::string full;
    if (!ResolvedPath(path, &full) || IsSystemFolder(path) || (!full.empty() && IsSystemFolder(full.c_str())))
        return true;
    std::string root;
    if (!ProfileRoot(&root))
        return false;
    return FindSubstring(path, root.c_str()) != nullptr || FindSubstring(full.c_str(), root.c_str()) != nullptr;
}

bool IsFixedDriveRoot(const char* path)
{
    if (IsDriveRootText(path))
        return GetDriveTypeA(path) == DRIVE_FIXED;
    // Windows answers DRIVE_FIXED for whatever it resolves to the root of a fixed volume:
    // also "\" (the current drive's root), "C:\.", "\\?\C:\" and a folder where a fixed
    // volume is mounted; Wine answers so for any folder of a fixed drive. So a text counts
    // as a root when its resolved path is the volume path the system gives for it, and
    // only then is the drive asked.
    char volume[kPathBufferSize];
    std::string full;
    if (!ResolvedPath(path, &full) || full.empty() || !GetVolumePathNameA(full.c_str(), volume, sizeof volume))
        return false;
    return IsVolumeRootText(full.c_str(), volume) && GetDriveTypeA(volume) == DRIVE_FIXED;
}
