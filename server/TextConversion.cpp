#include "TextConversion.h"

#include "WideText.h"

#include <new>

BSTR AnsiToBstr(const char* text, int length)
{
    int n = MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
    if (n <= 0)
        return SysAllocStringLen(nullptr, 0);
    // With length -1 the count includes the terminator, which SysAllocStringLen supplies.
    UINT chars = length == -1 ? static_cast<UINT>(n - 1) : static_cast<UINT>(n);
    BSTR out = SysAllocStringLen(nullptr, chars);
    if (out)
        MultiByteToWideChar(CP_ACP, 0, text, length, out, length == -1 ? n : static_cast<int>(chars));
    return out;
}

std::unique_ptr<char[]> BstrToAnsi(BSTR text)
{
    if (!text)
        return nullptr;
    // No best fit: a character the code page has no form of its own for becomes the mark,
    // never a look-alike (the yen sign a backslash, "é" an "e") that would name another
    // site's folder or another database. The conversion says how many bytes it needs: a
    // code page may take more than two for a character.
    const char mark[] = {kNoFormMark, '\0'};
    int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, nullptr, 0, mark, nullptr);
    std::unique_ptr<char[]> out(new (std::nothrow) char[size > 0 ? size : 1]);
    if (!out)
        return nullptr;
    out[0] = '\0';
    if (size <= 0 || WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, out.get(), size, mark, nullptr) == 0)
        out[0] = '\0';
    return out;
}
