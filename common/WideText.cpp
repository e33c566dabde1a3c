#include "WideText.h"

#include <windows.h>

bool Widen(const char* text, std::wstring* out)
{
    out->clear();
    int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (n <= 0)
        return false;
    out->resize(static_cast<size_t>(n));
    MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, &(*out)[0], n);
    out->resize(static_cast<size_t>(n - 1));
    return true;
}

std::wstring Widen(const char* text)
{
    std::wstring wide;
    Widen(text, &wide);
    return wide;
}

bool NarrowExactly(const wchar_t* text, std::string* out)
{
    out->clear();
    // No best fit, and the default character reported: a character the code page has no
    // form for is seen, never replaced by a look-alike.
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, nullptr, 0, nullptr, &usedDefault);
    if (n <= 0 || usedDefault)
        return false;
    out->resize(static_cast<size_t>(n));
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, &(*out)[0], n, nullptr, &usedDefault);
    out->resize(static_cast<size_t>(n - 1));
    // A conversion that reads back as other text was not exact either (a code page whose
    // table maps two characters to one byte sequence).
    if (usedDefault || Widen(out->c_str()) != text) {
        out->clear();
        return false;
    }
    return true;
}

std::wstring FormatWithName(const char* format, const std::wstring& name)
{
    std::wstring text = Widen(format);
    size_t hole = text.find(L"%s");
    if (hole != std::wstring::npos)
        text.replace(hole, 2, name);
    return text;
}

std::string ShownText(const char* text)
{
    std::string shown = text;
    // The mark is below 0x40, so it is never the trail byte of a double-byte character.
    for (char& c : shown)
        if (c == kNoFormMark)
            c = '?';
    return shown;
}
