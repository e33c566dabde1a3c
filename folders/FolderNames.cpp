#include "FolderTools.h"

#include "MbText.h"

#include <cctype>
#include <cstring>
#include <initializer_list>
#include <string>

void TruncateAtInvalidNameChar(const char* text, char* out, size_t outSize)
{
    const char* end = text + std::strlen(text);
    for (char c : {'\\', '/', ':', '*', '?', '"', '<', '>', '|'}) {
        const char* found = FindChar(text, c);
        if (found && found < end)
            end = found;
    }
    CopyTextRange(out, outSize, text, end);
}

namespace {

// Names Windows takes for a device wherever they stand in a path, with any extension.
bool IsDeviceName(const char* name)
{
    // The part before the first dot, without the blanks Windows drops before an extension.
    std::string base(name, std::strcspn(name, "."));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    for (char& c : base)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (base == device)
            return true;
    if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0))
        return base[3] >= '1' && base[3] <= '9';
    return false;
}

}  // namespace

bool IsPlainFolderName(const char* name)
{
    size_t length = std::strlen(name);
    if (length == 0)
        return false;
    for (const char* p = name; *p; p += CharLength(p)) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (IsLeadByte(c) && p[1] == '\0')
            return false;  // half a character
        if (c < 0x20 || (CharLength(p) == 1 && std::strchr("\\/:*?\"<>|", c)))
            return false;
    }
    // A trail byte is never a dot or a blank, so the last byte tells.
    char last = name[length - 1];
    if (last == '.' || last == ' ')
        return false;
    return !IsDeviceName(name);
}

bool IsPathAsWritten(const char* path)
{
    // The drive or \\server\share (or the \\?\ and \\.\ forms) is no name of a folder.
    const char* p = path;
    if (p[0] == '\\' && p[1] == '\\')
        p += 2;
    for (const char* segment = p; *segment;) {
        const char* end = segment;
        while (*end && *end != '\\' && *end != '/')
            end += CharLength(end);
        std::string name(segment, end);
        const bool drive = segment == p && name.size() == 2 && name[1] == ':';
        if (!name.empty() && !drive && name != "." && name != ".." && name != "?") {
            // A trail byte is never a dot or a blank, so the last byte tells.
            if (name.back() == '.' || name.back() == ' ' || IsDeviceName(name.c_str()))
                return false;
        }
        segment = *end ? end + 1 : end;
    }
    return true;
}
