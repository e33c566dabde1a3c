#include "FolderTools.h"

#include "BufferSize.h"
#include "ShellDialogs.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>

namespace {

int CALLBACK BrowseFolderCallback(HWND window, UINT message, LPARAM parameter, LPARAM data)
{
    if (message == BFFM_INITIALIZED) {
        // An empty initial text (a path too long to preselect) selects nothing.
        if (data && *reinterpret_cast<const char*>(data))
            SendMessageA(window, BFFM_SETSELECTIONA, TRUE, data);
    } else if (message == BFFM_SELCHANGED) {
        char path[kPathBufferSize];
        if (SHGetPathFromIDListA(reinterpret_cast<LPCITEMIDLIST>(parameter), path))
            SendMessageA(window, BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>(path));
        else
            EnableWindow(GetDlgItem(window, IDOK), FALSE);
    }
    return 0;
}

}  // namespace

bool BrowseForFolder(const char* title, char* path, size_t pathSize)
{
    IMalloc* allocator = nullptr;
    if (FAILED(SHGetMalloc(&allocator)) || !allocator)
        return false;
    char initial[kPathBufferSize];
    // A path that does not fit the browser's buffer is not preselected at all.
    if (std::strlen(path) < sizeof initial)
        std::strcpy(initial, path);
    else
        initial[0] = '\0';

    BROWSEINFOA info = {};
    info.hwndOwner = nullptr;
    info.pidlRoot = nullptr;
    info.pszDisplayName = nullptr;
    info.lpszTitle = title;
    // The status line shows the selected folder's path.
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;
    info.lpfn = BrowseFolderCallback;
    info.lParam = reinterpret_cast<LPARAM>(initial);
    LPITEMIDLIST chosen = winui::ShowFolderBrowser(&info);

    char* buffer = static_cast<char*>(allocator->Alloc(kPathBufferSize));
    bool result = false;
    if (chosen && buffer && SHGetPathFromIDListA(chosen, buffer) && std::strlen(buffer) < pathSize) {
        std::strcpy(path, buffer);
        result = true;
    }
    if (chosen)
        allocator->Free(chosen);
    if (buffer)
        allocator->Free(buffer);
    allocator->Release();
    return result;
}
