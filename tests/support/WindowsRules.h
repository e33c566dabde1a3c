// Windows' own answers where Wine is more lenient (folder paths of 248 characters or
// more, the drive type of a folder that is no root, replacing or removing what is
// read-only): every Windows test program installs them at start-up, so that the tool's
// code is tested against the rules it must keep on Windows.
#pragma once

namespace testsupport {

// Points this program's imports of the ruled calls at the rules; how many were found.
int InstallWindowsRules();

}  // namespace testsupport
