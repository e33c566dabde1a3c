// Lead bytes of code page 932, for builds without the Windows code-page tables.
#include "MbText.h"

bool IsLeadByte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
