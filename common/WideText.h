// The program's text (ANSI: Shift-JIS on the systems we serve) and the UTF-16 of the
// system's disk and dialogs. ANSI text widens exactly; UTF-16 narrows exactly only where
// every character has a form of its own in the code page. The system's own conversion
// does not refuse: it writes '?' or, by best fit, another character (the yen sign
// U+00A5 becomes 0x5C, the backslash), which in a path leads somewhere else.
#pragma once
#include <string>

// The UTF-16 of ANSI text; false (out empty) for text that is no valid multibyte text.
bool Widen(const char* text, std::wstring* out);
std::wstring Widen(const char* text);
// The ANSI of UTF-16 text, only when it is exact: false (out empty) where a character
// has no form of its own in the code page.
bool NarrowExactly(const wchar_t* text, std::string* out);
// format (ANSI, one "%s") with name put in as UTF-16: a message that names a folder as
// the user sees it, also where the code page cannot spell it.
std::wstring FormatWithName(const char* format, const std::wstring& name);

// What a character of the server's text becomes where the code page has no form of its
// own for it: SUB, a control character, so that such text is never taken for a folder or
// file name (nor handed back as a database name), and is seen to be inexact.
inline const char kNoFormMark = '\x1A';
// text as the list and the messages show it: each such character as '?'.
std::string ShownText(const char* text);
