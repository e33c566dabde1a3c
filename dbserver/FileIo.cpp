#include "FileIo.h"

#include "ChunkWorker.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace dbserver {
namespace {

// Temporary files are named <target>.tmp<process id>-<n>.
const wchar_t kTempMark[] = L".tmp";

std::wstring TempNameBeside(const std::wstring& path)
{
    static LONG counter = 0;
    return path + kTempMark + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(InterlockedIncrement(&counter));
}

// A client's path as the server opens it: full, with the \\?\ prefix, so that the
// temporary name beside a backup of up to 259 characters still fits (Windows limits a
// plain path to 260 characters; the prefix lifts that limit, also for folders).
std::wstring Extended(const std::wstring& path)
{
    if (path.compare(0, 4, L"\\\\?\\") == 0)
        return path;
    DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0)
        return path;
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(path.c_str(), n, &full[0], nullptr);
    if (n == 0 || n >= full.size())
        return path;
    full.resize(n);
    if (full.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

volatile LONG g_exitAfterBytes = 0;
volatile LONG g_writtenBytes = 0;

bool WriteAll(HANDLE h, const uint8_t* data, size_t size)
{
    while (size > 0) {
        DWORD chunk = size > (1u << 20) ? (1u << 20) : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(h, data, chunk, &written, nullptr) || written != chunk)
            return false;
        LONG limit = g_exitAfterBytes;
        if (limit > 0 && InterlockedExchangeAdd(&g_writtenBytes, static_cast<LONG>(chunk)) + static_cast<LONG>(chunk) >= limit)
            TerminateProcess(GetCurrentProcess(), 3);
        data += chunk;
        size -= chunk;
    }
    return true;
}

}  // namespace

void SetExitAfterBytes(DWORD bytes)
{
    InterlockedExchange(&g_writtenBytes, 0);
    InterlockedExchange(&g_exitAfterBytes, static_cast<LONG>(bytes > 0x7FFFFFFF ? 0x7FFFFFFF : bytes));
}

void RemoveStaleTemporaryFiles(const std::wstring& folder)
{
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((folder + L"*.mdf.tmp*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = entry.cFileName;
        size_t mark = name.rfind(kTempMark);
        if (mark == std::wstring::npos || (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        DWORD pid = wcstoul(name.c_str() + mark + wcslen(kTempMark), nullptr, 10);
        if (pid == 0 || pid == GetCurrentProcessId())
            continue;
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
        bool running = process && WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
        if (process)
            CloseHandle(process);
        if (!running)
            DeleteFileW((folder + name).c_str());
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

FileSource::~FileSource()
{
    if (m_h != INVALID_HANDLE_VALUE)
        CloseHandle(m_h);
}

bool FileSource::Open(const std::wstring& path)
{
    m_h = CreateFileW(Extended(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS, nullptr);
    LARGE_INTEGER size;
    if (m_h == INVALID_HANDLE_VALUE || !GetFileSizeEx(m_h, &size))
        return false;
    m_size = static_cast<uint64_t>(size.QuadPart);
    return true;
}

bool FileSource::ReadAt(uint64_t offset, void* out, size_t n)
{
    if (offset > m_size || n > m_size - offset)
        return false;
    uint8_t* to = static_cast<uint8_t*>(out);
    while (n > 0) {
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD want = n > (64u << 20) ? (64u << 20) : static_cast<DWORD>(n), got = 0;
        if (!ReadFile(m_h, to, want, &got, &at) || got == 0)
            return false;
        to += got;
        offset += got;
        n -= got;
    }
    return true;
}

FileStream::~FileStream()
{
    if (m_h != INVALID_HANDLE_VALUE)
        CloseHandle(m_h);
}

bool FileStream::Open(const std::wstring& path)
{
    m_h = CreateFileW(Extended(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    return m_h != INVALID_HANDLE_VALUE;
}

bool FileStream::Read(void* out, size_t cap, size_t* got)
{
    DWORD n = 0;
    bool ok = ReadFile(m_h, out, cap > (64u << 20) ? (64u << 20) : static_cast<DWORD>(cap), &n, nullptr) != FALSE;
    *got = n;
    return ok;
}

bool FileStream::Rewind()
{
    LARGE_INTEGER zero = {};
    return SetFilePointerEx(m_h, zero, nullptr, FILE_BEGIN) != FALSE;
}

// The threads behind an AtomicFile: a worker writes the filled buffers while the caller
// fills the next; another flushes the file every kFlushEvery bytes written, so that most
// of the data reach the disk while the writing goes on.
struct AtomicFile::Behind {
    static const uint64_t kFlushEvery = 32ull << 20;
    HANDLE file;
    CopyCheck* watcher;
    std::vector<uint8_t> filling;
    uint64_t written = 0, sinceFlush = 0;  // the worker's
    std::mutex flushLock;
    std::condition_variable flushWanted;
    bool flush = false, stop = false;
    std::thread flusher;
    storage::ChunkWorker writer;  // after what it uses, so that it stops first

    Behind(HANDLE h, CopyCheck* w)
        : file(h), watcher(w), writer([this](const std::vector<uint8_t>& chunk) { return Write(chunk); })
    {
        filling.reserve(kWriteBehind);
        flusher = std::thread([this] { Flush(); });
    }
    ~Behind()
    {
        writer.Wait();
        {
            std::lock_guard<std::mutex> hold(flushLock);
            stop = true;
        }
        flushWanted.notify_all();
        flusher.join();
    }
    bool Write(const std::vector<uint8_t>& chunk)
    {
        if (watcher)
            watcher->Chunk(written, chunk.data(), chunk.size());
        bool ok = WriteAll(file, chunk.data(), chunk.size());
        written += chunk.size();
        Wrote(chunk.size(), &sinceFlush);
        return ok;
    }
    bool Submit() { return writer.Hand(&filling); }
    bool Wait() { return writer.Wait(); }
    // Asks for a flush every kFlushEvery bytes.
    void Wrote(size_t n, uint64_t* since)
    {
        *since += n;
        if (*since < kFlushEvery)
            return;
        *since = 0;
        {
            std::lock_guard<std::mutex> hold(flushLock);
            flush = true;
        }
        flushWanted.notify_all();
    }
    void Flush()
    {
        for (;;) {
            {
                std::unique_lock<std::mutex> hold(flushLock);
                flushWanted.wait(hold, [this] { return flush || stop; });
                if (stop)
                    return;
                flush = false;
            }
            FlushFileBuffers(file);
        }
    }
};

AtomicFile::~AtomicFile()
{
    Stop();
    if (m_h != INVALID_HANDLE_VALUE) {
        CloseHandle(m_h);
        DeleteFileW(m_temp.c_str());
    }
}

bool AtomicFile::Create(const std::wstring& target, CopyCheck* watcher, bool writeBehind)
{
    m_writeBehind = writeBehind;
    m_target = Extended(target);
    m_temp = TempNameBeside(m_target);
    m_h = CreateFileW(m_temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (m_h == INVALID_HANDLE_VALUE)
        return false;
    try {
        m_behind = new Behind(m_h, watcher);
    } catch (...) {
        CloseHandle(m_h);
        DeleteFileW(m_temp.c_str());
        m_h = INVALID_HANDLE_VALUE;
        return false;
    }
    return true;
}

void AtomicFile::Stop()
{
    delete m_behind;
    m_behind = nullptr;
}

bool AtomicFile::Settle() { return Drain(); }

bool AtomicFile::Drain()
{
    return m_behind && m_behind->Submit() && m_behind->Wait();
}

bool AtomicFile::Write(const void* data, size_t n)
{
    if (!m_behind)
        return false;
    if (!m_writeBehind) {
        // The caller writes from a thread of its own already: no copy, no hand-over.
        if (!WriteAll(m_h, static_cast<const uint8_t*>(data), n))
            return false;
        m_behind->Wrote(n, &m_sinceFlush);
        return true;
    }
    const uint8_t* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
        std::vector<uint8_t>& filling = m_behind->filling;
        size_t take = std::min(n, kWriteBehind - filling.size());
        filling.insert(filling.end(), p, p + take);
        p += take;
        n -= take;
        if (filling.size() == kWriteBehind && !m_behind->Submit())
            return false;
    }
    return true;
}

bool AtomicFile::WriteAt(uint64_t offset, const void* data, size_t n)
{
    // Everything before goes out first: the writer thread keeps no position of its own.
    LARGE_INTEGER at, end = {};
    at.QuadPart = static_cast<LONGLONG>(offset);
    return Drain() && SetFilePointerEx(m_h, at, nullptr, FILE_BEGIN) &&
           WriteAll(m_h, static_cast<const uint8_t*>(data), n) && SetFilePointerEx(m_h, end, nullptr, FILE_END);
}

bool AtomicFile::Commit()
{
    bool ok = Drain();
    Stop();
    if (m_h == INVALID_HANDLE_VALUE)
        return false;
    ok = FlushFileBuffers(m_h) != FALSE && ok;
    ok = CloseHandle(m_h) != FALSE && ok;
    m_h = INVALID_HANDLE_VALUE;
    if (ok)
        ok = MoveFileExW(m_temp.c_str(), m_target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    if (!ok)
        DeleteFileW(m_temp.c_str());
    return ok;
}

CopyResult CopyFileAtomically(const std::wstring& source, const std::wstring& target, CopyCheck* check)
{
    HANDLE in = CreateFileW(Extended(source).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (in == INVALID_HANDLE_VALUE)
        return CopyResult::SourceUnreadable;
    const DWORD kChunk = 4u << 20;
    std::vector<uint8_t> buffer;
    AtomicFile out;
    CopyResult result = CopyResult::Ok;
    try {
        buffer.resize(kChunk);
    } catch (...) {
        result = CopyResult::WriteFailed;
    }
    if (result == CopyResult::Ok && !out.Create(target, check))
        result = CopyResult::WriteFailed;
    uint64_t copied = 0;
    while (result == CopyResult::Ok) {
        DWORD got = 0;
        if (!ReadFile(in, buffer.data(), kChunk, &got, nullptr)) {
            result = CopyResult::SourceUnreadable;
            break;
        }
        if (got == 0)
            break;
        copied += got;
        if (!out.Write(buffer.data(), got))
            result = CopyResult::WriteFailed;
    }
    CloseHandle(in);
    // Commit shows the watcher the last bytes before it renames: the check comes between.
    if (result == CopyResult::Ok && check && !out.Settle())
        result = CopyResult::WriteFailed;
    if (result == CopyResult::Ok && check && !check->Complete(copied))
        result = CopyResult::Refused;
    if (result == CopyResult::Ok && !out.Commit())
        result = CopyResult::WriteFailed;
    return result;
}

}  // namespace dbserver
