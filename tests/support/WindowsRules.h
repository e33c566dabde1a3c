// Windows' own answers where Wine is more lenient (folder paths of 248 characters or
// more, the drive type of a folder that is no root, replacing or removing what is
// read-only): every Windows test program installs them at start-up, so that the tool's
// code is tested against the rules it must keep on Windows.
#pragma once

#include <cstddef>
#include <string>

namespace testsupport {

struct ImportPatch {
    const char* function;  // as the DLL exports it
    void* replacement;
    void** original;       // receives the real function
};
// Points this program's import-table entries for dll's functions at the replacements;
// how many were found. The tool's code linked into the program calls them from then on.
int PatchImports(const char* dll, const ImportPatch* patches, size_t count);

// Points this program's imports of the ruled calls at the rules; how many were found.
int InstallWindowsRules();

// What a user's PC may give for a folder that Wine cannot make: its listing refused
// (access denied), its listing broken off after the first entry, or the folder reported
// as a cloud file's placeholder. Until set off again.
enum class FolderPretence { Unlisted, Breaking, Placeholder };
void PretendFolder(const std::string& folder, FolderPretence pretence, bool on = true);

}  // namespace testsupport
