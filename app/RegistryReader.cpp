#include "RegistryReader.h"

#include "MbText.h"

#include <cstring>

namespace {

struct RootName {
    const char* name;
    HKEY key;
};

// Exact names only: no other root, no abbreviation, no other letter case.
const RootName kRoots[] = {
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKEY_USERS", HKEY_USERS},
};

HKEY LookUpRoot(const char* name)
{
    for (const RootName& root : kRoots)
        if (std::strcmp(root.name, name) == 0)
            return root.key;
    return nullptr;
}

// Opens the key the path names; nullptr when the root is unknown or the key cannot
// be opened. valueName receives the value's name. The system's installer is 32-bit, so
// its keys live in the 32-bit view; on 32-bit Windows the flag changes nothing.
HKEY OpenPathKey(const char* path, char* valueName, size_t valueNameSize)
{
    char root[kPathBufferSize];
    char subKey[kPathBufferSize];
    SplitRegistryPath(path, root, subKey, valueName, valueNameSize);
    HKEY rootKey = LookUpRoot(root);
    if (!rootKey)
        return nullptr;
    HKEY key = nullptr;
    if (RegOpenKeyExA(rootKey, subKey, 0, KEY_READ | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

}  // namespace

void SplitRegistryPath(const char* path, char* root, char* subKey, char* valueName,
                       size_t resultSize)
{
    const char* first = FindChar(path, '\\');
    const char* end = path + std::strlen(path);
    if (!first) {
        CopyTextRange(root, resultSize, path, path);
        CopyTextRange(subKey, resultSize, path, path);
        CopyTextRange(valueName, resultSize, path, end);
        return;
    }
    const char* last = FindLastChar(path, '\\');
    CopyTextRange(root, resultSize, path, first);
    if (last == first)
        CopyTextRange(subKey, resultSize, first, first);
    else
        CopyTextRange(subKey, resultSize, first + 1, last);
    CopyTextRange(valueName, resultSize, last + 1, end);
}

int ReadRegistryString(const char* path, char* result, size_t resultSize)
{
    char valueName[kPathBufferSize];
    HKEY key = OpenPathKey(path, valueName, sizeof valueName);
    if (!key)
        return 0;
    BYTE buffer[kPathBufferSize];
    std::memset(buffer, 0, sizeof buffer);
    DWORD type = 0;
    DWORD size = sizeof buffer;
    LONG rc = RegQueryValueExA(key, valueName, nullptr, &type, buffer, &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS)
        return 0;
    // Data that fill the buffer with no terminator are longer than the buffer allows.
    const void* end = std::memchr(buffer, 0, sizeof buffer);
    if (!end)
        return 0;
    size_t len = static_cast<size_t>(static_cast<const BYTE*>(end) - buffer);
    if (len >= resultSize)
        return 0;
    std::memcpy(result, buffer, len + 1);
    return 1;
}

int ReadRegistryNumber(const char* path, DWORD* value)
{
    char valueName[kPathBufferSize];
    HKEY key = OpenPathKey(path, valueName, sizeof valueName);
    if (!key)
        return 0;
    DWORD type = 0;
    DWORD size = sizeof *value;
    LONG rc = RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? 1 : 0;
}
