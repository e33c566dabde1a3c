#include "FolderTools.h"

#include "BufferSize.h"
#include "MessageBox.h"
#include "Messages.h"
#include "ShellDialogs.h"
#include "WideText.h"

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
        // The status line shows the folder as its name is, also where the code page
        // cannot spell it (the ANSI path would show a yen sign as a backslash).
        wchar_t path[MAX_PATH];
        if (SHGetPathFromIDListW(reinterpret_cast<LPCITEMIDLIST>(parameter), path))
            SendMessageW(window, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(path));
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

    // The chosen folder's path as the shell has it, in UTF-16: its ANSI form could be
    // another folder's path.
    wchar_t* buffer = static_cast<wchar_t*>(allocator->Alloc(MAX_PATH * sizeof(wchar_t)));
    bool result = chosen && buffer && SHGetPathFromIDListW(chosen, buffer) &&
                  TakeSpelledPath(buffer, path, pathSize) == TakenPath::Taken;
    if (chosen)
        allocator->Free(chosen);
    if (buffer)
        allocator->Free(buffer);
    allocator->Release();
    return result;
}

TakenPath TakeSpelledPath(const wchar_t* path, char* out, size_t outSize)
{
    std::string text;
    if (!NarrowExactly(path, &text) || !IsPathAsWritten(text.c_str())) {
        winui::AppMessageBox(FormatWithName(msg::kUnspellablePath, path).c_str());
        return TakenPath::Refused;
    }
    if (text.size() >= outSize)
        return TakenPath::TooLong;
    std::memcpy(out, text.c_str(), text.size() + 1);
    return TakenPath::Taken;
}

TakenPath TakenFieldText(HWND field, const char* member)
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(field)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(field, &text[0], static_cast<int>(text.size()))));
    if (Widen(member) == text) {
        if (IsPathAsWritten(member))
            return TakenPath::Taken;
        winui::AppMessageBox(FormatWithName(msg::kUnspellablePath, text).c_str());
        return TakenPath::Refused;
    }
    char taken[kPathBufferSize];
    TakenPath why = TakeSpelledPath(text.c_str(), taken, sizeof taken);
    return why == TakenPath::Taken ? TakenPath::TooLong : why;
}
