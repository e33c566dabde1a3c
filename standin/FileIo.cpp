#include "FileIo.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace standin {
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

bool FileSource::Open(const std::wstring& path, bool sequential)
{
    m_h = CreateFileW(Extended(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, sequential ? FILE_FLAG_SEQUENTIAL_SCAN : FILE_FLAG_RANDOM_ACCESS, nullptr);
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

bool FileStream::Read(void* out, size_t cap, size_t* got)
{
    *got = static_cast<size_t>(std::min<uint64_t>(cap, m_file.Size() - m_pos));
    if (!m_file.ReadAt(m_pos, out, *got))
        return false;
    m_pos += *got;
    return true;
}

// Flushes an AtomicFile every kFlushEvery bytes written, from a thread of its own, so
// that most of the data reach the disk while the writing goes on and the final flush has
// little left.
struct AtomicFile::Flusher {
    static const uint64_t kFlushEvery = 32ull << 20;
    HANDLE file;
    uint64_t sinceFlush = 0;  // the writer's
    std::mutex lock;
    std::condition_variable wanted;
    bool flush = false, stop = false;
    std::thread thread;

    explicit Flusher(HANDLE h) : file(h) { thread = std::thread([this] { Run(); }); }
    ~Flusher()
    {
        {
            std::lock_guard<std::mutex> hold(lock);
            stop = true;
        }
        wanted.notify_all();
        thread.join();
    }
    void Wrote(size_t n)
    {
        sinceFlush += n;
        if (sinceFlush < kFlushEvery)
            return;
        sinceFlush = 0;
        {
            std::lock_guard<std::mutex> hold(lock);
            flush = true;
        }
        wanted.notify_all();
    }
    void Run()
    {
        for (;;) {
            {
                std::unique_lock<std::mutex> hold(lock);
                wanted.wait(hold, [this] { return flush || stop; });
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
    delete m_flusher;
    if (m_h != INVALID_HANDLE_VALUE) {
        CloseHandle(m_h);
        DeleteFileW(m_temp.c_str());
    }
}

bool AtomicFile::Create(const std::wstring& target, CopyCheck* watcher)
{
    m_target = Extended(target);
    m_temp = TempNameBeside(m_target);
    m_watcher = watcher;
    m_h = CreateFileW(m_temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (m_h == INVALID_HANDLE_VALUE)
        return false;
    try {
        m_flusher = new Flusher(m_h);
    } catch (...) {
        m_flusher = nullptr;  // written all the same, flushed once at the end
    }
    return true;
}

bool AtomicFile::Write(const void* data, size_t n)
{
    if (m_h == INVALID_HANDLE_VALUE)
        return false;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    if (m_watcher)
        m_watcher->Chunk(m_written, p, n);
    if (!WriteAll(m_h, p, n))
        return false;
    m_written += n;
    if (m_flusher)
        m_flusher->Wrote(n);
    return true;
}

bool AtomicFile::WriteAt(uint64_t offset, const void* data, size_t n)
{
    LARGE_INTEGER at, end = {};
    at.QuadPart = static_cast<LONGLONG>(offset);
    return m_h != INVALID_HANDLE_VALUE && SetFilePointerEx(m_h, at, nullptr, FILE_BEGIN) &&
           WriteAll(m_h, static_cast<const uint8_t*>(data), n) && SetFilePointerEx(m_h, end, nullptr, FILE_END);
}

bool AtomicFile::Commit()
{
    delete m_flusher;
    m_flusher = nullptr;
    if (m_h == INVALID_HANDLE_VALUE)
        return false;
    bool ok = FlushFileBuffers(m_h) != FALSE;
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
    // Small chunks, read and written in turn, as the system's own copy does: the bytes stay
    // in the processor's cache between the two, which on a machine of two cores is worth
    // more than writing on a thread of its own.
    AtomicFile out;
    CopyResult result = out.Create(target, check) ? CopyResult::Ok : CopyResult::WriteFailed;
    const DWORD kSmallChunk = 64u << 10;
    std::vector<uint8_t> buffer(kSmallChunk);
    uint64_t copied = 0;
    while (result == CopyResult::Ok) {
        DWORD got = 0;
        if (!ReadFile(in, buffer.data(), kSmallChunk, &got, nullptr)) {
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
    if (result == CopyResult::Ok && check && !check->Complete(copied))
        result = CopyResult::Refused;
    if (result == CopyResult::Ok && !out.Commit())
        result = CopyResult::WriteFailed;
    return result;
}

}  // namespace standin
