// Between the program's ANSI text (code page 932 here) and the server's BSTRs.
#pragma once
#include <windows.h>

#include <memory>

// A new BSTR holding text (length -1: up to its terminator). nullptr when it cannot be
// allocated; the caller frees it with SysFreeString.
BSTR AnsiToBstr(const char* text, int length = -1);

// The BSTR's text in the ANSI code page, in a buffer the caller owns; nullptr for a null
// BSTR or when no buffer could be had. A conversion that fails gives the empty text. A
// character the code page has no form of its own for becomes kNoFormMark (WideText.h).
std::unique_ptr<char[]> BstrToAnsi(BSTR text);
