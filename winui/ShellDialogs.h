// The shell's folder browser and the common file-open dialog, behind seams so that a
// test can answer them as a user would and see what the program asked.
#pragma once
#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>

namespace winui {

// SHBrowseForFolderA, or the handler when one is set.
LPITEMIDLIST ShowFolderBrowser(BROWSEINFOA* info);
using FolderBrowserHandler = LPITEMIDLIST (*)(BROWSEINFOA* info);
FolderBrowserHandler SetFolderBrowserHandler(FolderBrowserHandler handler);

// GetOpenFileNameW, or the handler when one is set; with no owner given, the owner is
// Dialog::DefaultOwner(), as the framework's file dialog has it. Wide, so that the
// chosen file's name comes back as it is: the ANSI dialog would spell a name the code
// page cannot as another path.
BOOL ShowOpenFileDialog(OPENFILENAMEW* info);
using OpenFileHandler = BOOL (*)(OPENFILENAMEW* info);
OpenFileHandler SetOpenFileHandler(OpenFileHandler handler);

}  // namespace winui
