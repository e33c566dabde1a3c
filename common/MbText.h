// Double-byte aware helpers for the program's ANSI text (Shift-JIS, code page 932,
// on the systems the tool serves). A trail byte may equal '\\' (0x5C) or '|' (0x7C),
// as in 表 or ソ; these helpers never take one for a separator. Every search along a
// path or name in the program goes through them.
#pragma once
#include <cstddef>

// True when c starts a double-byte character in the ANSI code page.
bool IsLeadByte(unsigned char c);

// Bytes of the character at s: 2 for a lead byte followed by a trail byte, else 1
// (a lead byte before the terminator counts alone, so no search runs past it).
size_t CharLength(const char* s);

// First / last occurrence of c as a whole character, or nullptr.
const char* FindChar(const char* s, char c);
const char* FindLastChar(const char* s, char c);
inline char* FindChar(char* s, char c) { return const_cast<char*>(FindChar(static_cast<const char*>(s), c)); }
inline char* FindLastChar(char* s, char c) { return const_cast<char*>(FindLastChar(static_cast<const char*>(s), c)); }

// First occurrence of needle in s that begins on a character boundary, or nullptr.
// Byte-exact (case counts). An empty needle is found at s.
const char* FindSubstring(const char* s, const char* needle);

// Whether the first strlen(prefix) bytes of s equal prefix, ASCII letters compared
// without regard to case and double-byte characters compared whole. A shorter s never
// equals it.
bool StartsWithNoCase(const char* s, const char* prefix);

// Number of leading bytes of s that fit in maxBytes without splitting a character.
size_t FitLength(const char* s, size_t maxBytes);

// Copies src into dst (dstSize bytes, terminator included), cut at the last whole
// character that fits. Returns 1 when all of src fitted, 0 when it was cut.
int CopyText(char* dst, size_t dstSize, const char* src);

// Copies the text from begin up to (not including) end under the same rule.
int CopyTextRange(char* dst, size_t dstSize, const char* begin, const char* end);

// Appends src to the text already in dst under the same rule.
int AppendText(char* dst, size_t dstSize, const char* src);
