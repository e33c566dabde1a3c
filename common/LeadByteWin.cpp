// On Windows the ANSI code page of the running system decides what a lead byte is.
#include "MbText.h"

#include <windows.h>

bool IsLeadByte(unsigned char c)
{
    return IsDBCSLeadByte(c) != FALSE;
}
