#include "ShellDialogs.h"

#include "Dialog.h"

namespace winui {
namespace {
FolderBrowserHandler g_folderBrowser = nullptr;
OpenFileHandler g_openFile = nullptr;
}  // namespace

LPITEMIDLIST ShowFolderBrowser(BROWSEINFOA* info)
{
    return g_folderBrowser ? g_folderBrowser(info) : SHBrowseForFolderA(info);
}

FolderBrowserHandler SetFolderBrowserHandler(FolderBrowserHandler handler)
{
    FolderBrowserHandler old = g_folderBrowser;
    g_folderBrowser = handler;
    return old;
}

BOOL ShowOpenFileDialog(OPENFILENAMEW* info)
{
    // As the framework's file dialog: one made with no owner is owned by the running
    // dialog, which then takes no input until the file dialog closes.
    if (!info->hwndOwner)
        info->hwndOwner = Dialog::DefaultOwner();
    return g_openFile ? g_openFile(info) : GetOpenFileNameW(info);
}

OpenFileHandler SetOpenFileHandler(OpenFileHandler handler)
{
    OpenFileHandler old = g_openFile;
    g_openFile = handler;
    return old;
}

}  // namespace winui
