// Whole-file reads and the atomic writes the server promises: a file is written under a
// temporary name in the same folder, flushed, then renamed, so that a failure never
// leaves a half-written file under the final name.
// Paths are opened full and with the \\?\ prefix, so that the temporary name beside a
// target of up to 259 characters always fits.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace dbserver {

bool ReadWholeFile(const std::wstring& path, std::vector<uint8_t>* out, bool* tooLarge = nullptr);
bool WriteFileAtomically(const std::wstring& path, const uint8_t* data, size_t size);
// Copies source to target through a temporary file beside target; false leaves target as it was.
bool CopyFileAtomically(const std::wstring& source, const std::wstring& target, bool* sourceUnreadable);

// A fault for the tests: the process ends abruptly once this many bytes of the next
// files written here are written (0: never).
void SetExitAfterBytes(DWORD bytes);

// Removes the temporary files that servers which ended abruptly left in folder (their
// process is gone); those of running servers stay.
void RemoveStaleTemporaryFiles(const std::wstring& folder);

}  // namespace dbserver
