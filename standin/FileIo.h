// The stand-in's files as streams at 64-bit offsets, and the atomic writes the server
// promises: a file is written under a temporary name in the same folder, flushed, then
// renamed, so that a failure never leaves a half-written file under the final name.
// Paths are opened full and with the \\?\ prefix, so that the temporary name beside a
// target of up to 259 characters always fits.
#pragma once
#include "Storage.h"
#include "TextDescription.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace standin {

// A file read at 64-bit offsets. Others may read it, and a restore may replace it, while
// it is open: this handle keeps reading what it opened.
class FileSource final : public storage::Source {
public:
    FileSource() = default;
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    // sequential: read from the start in order (the system reads ahead), not here and there.
    bool Open(const std::wstring& path, bool sequential = false);
    uint64_t Size() const override { return m_size; }
    bool ReadAt(uint64_t offset, void* out, size_t n) override;

private:
    HANDLE m_h = INVALID_HANDLE_VALUE;
    uint64_t m_size = 0;
};

// A file read from the start, in order (a table description for dbtool).
class FileStream final : public storage::ByteStream {
public:
    bool Open(const std::wstring& path) { return m_file.Open(path, true); }
    bool Read(void* out, size_t cap, size_t* got) override;

private:
    FileSource m_file;
    uint64_t m_pos = 0;
};

// What a copy learns of the bytes it copies, to refuse them before they take the
// target's place (a restore checks the backup's checksum this way, in the same pass).
class CopyCheck {
public:
    virtual ~CopyCheck() = default;
    virtual void Chunk(uint64_t offset, const uint8_t* data, size_t n) = 0;
    virtual bool Complete(uint64_t size) = 0;
};

// A new file under a temporary name beside its target, put in the target's place by
// Commit; without Commit nothing of it stays. It is flushed every 32 MB from a thread of
// its own while the writing goes on, so that the final flush has little left.
class AtomicFile final : public storage::Sink {
public:
    AtomicFile() = default;
    ~AtomicFile() override;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    // watcher, when given, is shown every byte written, in order, before it is written.
    bool Create(const std::wstring& target, CopyCheck* watcher = nullptr);
    bool Write(const void* data, size_t n) override;
    bool WriteAt(uint64_t offset, const void* data, size_t n) override;
    bool Commit();

private:
    struct Flusher;
    HANDLE m_h = INVALID_HANDLE_VALUE;
    std::wstring m_temp, m_target;
    CopyCheck* m_watcher = nullptr;
    uint64_t m_written = 0;
    Flusher* m_flusher = nullptr;
};

enum class CopyResult { Ok, SourceUnreadable, Refused, WriteFailed };
// Copies source to target through a temporary file beside target; anything but Ok
// leaves target as it was.
CopyResult CopyFileAtomically(const std::wstring& source, const std::wstring& target, CopyCheck* check = nullptr);

// A fault for the tests: the process ends abruptly once this many bytes of the next
// files written here are written (0: never).
void SetExitAfterBytes(DWORD bytes);

// Removes the temporary files that servers which ended abruptly left in folder (their
// process is gone); those of running servers stay.
void RemoveStaleTemporaryFiles(const std::wstring& folder);

}  // namespace standin
