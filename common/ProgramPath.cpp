#include "ProgramPath.h"

#include "MbText.h"

#include <cstring>

namespace {

// Last path separator as a whole character ('\\' or '/'), or nullptr.
const char* LastSeparator(const char* s)
{
    const char* back = FindLastChar(s, '\\');
    const char* slash = FindLastChar(s, '/');
    if (!back)
        return slash;
    if (!slash)
        return back;
    return back > slash ? back : slash;
}

bool EndsWithSeparator(const char* s)
{
    size_t len = std::strlen(s);
    return len > 0 && LastSeparator(s) == s + len - 1;
}

}  // namespace

void SplitPath(const char* path, PathParts* parts)
{
    const char* p = path;
    parts->drive[0] = parts->dir[0] = parts->name[0] = parts->ext[0] = '\0';
    if (p[0] && p[1] == ':' && !IsLeadByte(static_cast<unsigned char>(p[0]))) {
        CopyTextRange(parts->drive, kPathBufferSize, p, p + 2);
        p += 2;
    }
    const char* sep = LastSeparator(p);
    if (sep) {
        CopyTextRange(parts->dir, kPathBufferSize, p, sep + 1);
        p = sep + 1;
    }
    const char* dot = FindLastChar(p, '.');
    if (dot) {
        CopyTextRange(parts->name, kPathBufferSize, p, dot);
        CopyText(parts->ext, kPathBufferSize, dot);
    } else {
        CopyText(parts->name, kPathBufferSize, p);
    }
}

int MakePath(char* out, size_t outSize, const char* drive, const char* dir,
             const char* name, const char* ext)
{
    char buf[4 * kPathBufferSize + 8];
    buf[0] = '\0';
    std::strcat(buf, drive);
    if (drive[0] && drive[1] == '\0')
        std::strcat(buf, ":");
    std::strcat(buf, dir);
    if (dir[0] && !EndsWithSeparator(dir))
        std::strcat(buf, "\\");
    std::strcat(buf, name);
    if (ext[0]) {
        if (ext[0] != '.')
            std::strcat(buf, ".");
        std::strcat(buf, ext);
    }
    if (std::strlen(buf) >= outSize) {
        if (outSize)
            out[0] = '\0';
        return 0;
    }
    std::strcpy(out, buf);
    return 1;
}

namespace {

// Splits the program's file name; 0, with out empty, when it is longer than a path can be.
int SplitProgramFile(const char* programFile, PathParts* parts, char* out, size_t outSize)
{
    if (std::strlen(programFile) >= kPathBufferSize) {
        if (outSize)
            out[0] = '\0';
        return 0;
    }
    SplitPath(programFile, parts);
    return 1;
}

}  // namespace

int ParentFolderFile(const char* programFile, const char* name, const char* ext,
                     char* out, size_t outSize)
{
    PathParts parts;
    if (!SplitProgramFile(programFile, &parts, out, outSize))
        return 0;
    // Drop the directory's trailing backslash, then the program's own folder.
    size_t len = std::strlen(parts.dir);
    if (len > 0)
        parts.dir[len - 1] = '\0';
    char* last = FindLastChar(parts.dir, '\\');
    if (last)
        *last = '\0';
    else
        parts.dir[0] = '\0';
    // No folder is left when the program lies in a drive root or directly below one;
    // an empty directory would make the path relative to the current directory.
    if (parts.dir[0] == '\0')
        std::strcpy(parts.dir, "\\");
    return MakePath(out, outSize, parts.drive, parts.dir, name, ext);
}

int ProgramFolderFile(const char* programFile, const char* name, const char* ext,
                      char* out, size_t outSize)
{
    PathParts parts;
    if (!SplitProgramFile(programFile, &parts, out, outSize))
        return 0;
    return MakePath(out, outSize, parts.drive, parts.dir, name, ext);
}
