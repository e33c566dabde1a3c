// Paths derived from the running program's own file name: the settings files of the
// system lie beside the program or in the folder above the program's folder.
#pragma once
#include "BufferSize.h"

#include <cstddef>

struct PathParts {
    char drive[kPathBufferSize];
    char dir[kPathBufferSize];
    char name[kPathBufferSize];
    char ext[kPathBufferSize];
};

// Splits a full file name into drive ("C:"), directory (with its trailing backslash),
// base name and extension (with its dot), like the runtime's _splitpath, but every
// search for a backslash steps over double-byte characters.
void SplitPath(const char* path, PathParts* parts);

// Joins the parts like _makepath. Returns 0, leaving out empty, when the result would
// not fit in outSize bytes.
int MakePath(char* out, size_t outSize, const char* drive, const char* dir,
             const char* name, const char* ext);

// The file name.ext in the folder above the folder of programFile. A program in a
// drive root, or directly below one, has no folder above it: the drive root is used.
int ParentFolderFile(const char* programFile, const char* name, const char* ext,
                     char* out, size_t outSize);

// The file name.ext beside programFile.
int ProgramFolderFile(const char* programFile, const char* name, const char* ext,
                      char* out, size_t outSize);

#ifdef _WIN32
#include <string>
// The running program's full file name. 0 when it does not fit in outSize or the code
// page cannot spell it exactly (it would name another file).
int GetProgramFileName(char* out, size_t outSize);
// The same as the system has it, to name it to the user: empty when there is none.
std::wstring ProgramFileNameAsIs();
// The two rules above applied to the running program.
int ProgramParentFolderFile(const char* name, const char* ext, char* out, size_t outSize);
int ProgramFolderFile(const char* name, const char* ext, char* out, size_t outSize);
#endif
