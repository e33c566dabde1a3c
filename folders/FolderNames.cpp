#include "FolderTools.h"

#include "MbText.h"

#include <cstring>
#include <initializer_list>

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
