#include "MbText.h"

#include <cstring>

size_t CharLength(const char* s)
{
    return (IsLeadByte(static_cast<unsigned char>(s[0])) && s[1] != '\0') ? 2 : 1;
}

const char* FindChar(const char* s, char c)
{
    for (; *s; s += CharLength(s))
        if (*s == c)
            return s;
    return nullptr;
}

const char* FindLastChar(const char* s, char c)
{
    const char* found = nullptr;
    for (; *s; s += CharLength(s))
        if (*s == c)
            found = s;
    return found;
}

const char* FindSubstring(const char* s, const char* needle)
{
    size_t n = std::strlen(needle);
    for (;; s += CharLength(s)) {
        if (std::strncmp(s, needle, n) == 0)
            return s;
        if (!*s)
            return nullptr;
    }
}

bool StartsWithNoCase(const char* s, const char* prefix)
{
    auto fold = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; };
    while (*prefix) {
        if (!*s)
            return false;
        size_t len = CharLength(prefix);
        if (len == 2) {
            if (s[0] != prefix[0] || s[1] != prefix[1])
                return false;
        } else if (fold(static_cast<unsigned char>(*s)) != fold(static_cast<unsigned char>(*prefix))) {
            return false;
        } else if (CharLength(s) == 2) {
            return false;  // a lead byte of s against a single-byte character of prefix
        }
        s += len;
        prefix += len;
    }
    return true;
}

size_t FitLength(const char* s, size_t maxBytes)
{
    size_t n = 0;
    while (s[n]) {
        size_t len = CharLength(s + n);
        if (n + len > maxBytes)
            break;
        n += len;
    }
    return n;
}

int CopyText(char* dst, size_t dstSize, const char* src)
{
    if (dstSize == 0)
        return 0;
    size_t n = FitLength(src, dstSize - 1);
    std::memcpy(dst, src, n);
    dst[n] = '\0';
    return src[n] == '\0' ? 1 : 0;
}

int CopyTextRange(char* dst, size_t dstSize, const char* begin, const char* end)
{
    if (dstSize == 0)
        return 0;
    size_t n = static_cast<size_t>(end - begin);
    size_t fit = 0;
    while (fit < n && begin[fit]) {
        size_t len = CharLength(begin + fit);
        if (fit + len > n || fit + len > dstSize - 1)
            break;
        fit += len;
    }
    std::memcpy(dst, begin, fit);
    dst[fit] = '\0';
    return fit == n ? 1 : 0;
}

int AppendText(char* dst, size_t dstSize, const char* src)
{
    size_t used = strnlen(dst, dstSize);
    if (used >= dstSize)
        return 0;
    return CopyText(dst + used, dstSize - used, src);
}
