#include "TextConversion.h"

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
    // The conversion says how many bytes it needs: a code page may take more than two
    // for a character.
    int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::unique_ptr<char[]> out(new (std::nothrow) char[size > 0 ? size : 1]);
    if (!out)
        return nullptr;
    out[0] = '\0';
    if (size <= 0 || WideCharToMultiByte(CP_ACP, 0, text, -1, out.get(), size, nullptr, nullptr) == 0)
        out[0] = '\0';
    return out;
}
