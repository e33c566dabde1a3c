#include "ProgramPath.h"

#include <windows.h>

int GetProgramFileName(char* out, size_t outSize)
{
    char buf[kPathBufferSize];
    DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
    // A name that fills the buffer was cut by the system.
    if (n == 0 || n >= sizeof buf || n >= outSize) {
        if (outSize)
            out[0] = '\0';
        return 0;
    }
    lstrcpyA(out, buf);
    return 1;
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
