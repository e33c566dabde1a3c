// Reads one registry value named in full by a single text:
// root key name \ sub-key path \ value name. Read only; never shows a message.
#pragma once
#include <windows.h>

#include "BufferSize.h"

#include <cstddef>

// Splits at the first and the last backslash (double-byte aware). Each result buffer
// holds resultSize bytes; a part that does not fit is cut at a character boundary.
void SplitRegistryPath(const char* path, char* root, char* subKey, char* valueName,
                       size_t resultSize);

// 1 when the value was read into result (zero-terminated); 0 otherwise, result unchanged.
// The value's data must fit the 260-byte buffer with their terminator.
int ReadRegistryString(const char* path, char* result, size_t resultSize);

// 1 when the value's data (at most 4 bytes, any type) were read into *value; else 0.
int ReadRegistryNumber(const char* path, DWORD* value);
