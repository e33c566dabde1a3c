#include "ProgramPath.h"

#include "WideText.h"

#include <windows.h>

#include <string>

int GetProgramFileName(char* out, size_t outSize)
{
    // Asked in UTF-16: the ANSI answer would spell a folder the code page cannot (a user
    // named 𠮷田, a yen sign) as another path.
    wchar_t wide[kPathBufferSize];
    std::string name;
    DWORD n = GetModuleFileNameW(nullptr, wide, kPathBufferSize);
    // A name that fills the buffer was cut by the system.
    if (n == 0 || n >= kPathBufferSize || !NarrowExactly(wide, &name) || name.size() >= kPathBufferSize ||
        name.size() >= outSize) {
        if (outSize)
            out[0] = '\0';
        return 0;
    }
    lstrcpyA(out, name.c_str());
    return 1;
}

std::wstring ProgramFileNameAsIs()
{
    wchar_t wide[32768];
    DWORD n = GetModuleFileNameW(nullptr, wide, 32768);
    return n > 0 && n < 32768 ? std::wstring(wide, n) : std::wstring();
}

namespace {
using PathRule = int (*)(const char*, const char*, const char*, char*, size_t);

int ForRunningProgram(PathRule rule, const char* name, const char* ext, char* out, size_t outSize)
{
    char program[kPathBufferSize];
    if (!GetProgramFileName(program, sizeof program)) {
        if (outSize)
            out[0] = '\0';
        return 0;
    }
    return rule(program, name, ext, out, outSize);
}
}  // namespace

int ProgramParentFolderFile(const char* name, const char* ext, char* out, size_t outSize)
{
    return ForRunningProgram(&ParentFolderFile, name, ext, out, outSize);
}

int ProgramFolderFile(const char* name, const char* ext, char* out, size_t outSize)
{
    return ForRunningProgram(static_cast<PathRule>(&ProgramFolderFile), name, ext, out, outSize);
}
