#include "FileIo.h"

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

bool Commit(HANDLE h, const std::wstring& temp, const std::wstring& path)
{
    bool ok = FlushFileBuffers(h) != FALSE;
    ok = CloseHandle(h) != FALSE && ok;
    if (ok)
        ok = MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    if (!ok)
        DeleteFileW(temp.c_str());
    return ok;
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

bool ReadWholeFile(const std::wstring& path, std::vector<uint8_t>* out, bool* tooLarge)
{
    if (tooLarge)
        *tooLarge = false;
    HANDLE h = CreateFileW(Extended(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size;
    bool ok = GetFileSizeEx(h, &size) != FALSE;
    if (ok && size.QuadPart > 0x60000000) {  // beyond what a 32-bit process can hold
        ok = false;
        if (tooLarge)
            *tooLarge = true;
    }
    if (ok) {
        try {
            out->resize(static_cast<size_t>(size.QuadPart));
        } catch (...) {
            ok = false;
            if (tooLarge)
                *tooLarge = true;
        }
    }
    size_t done = 0;
    while (ok && done < out->size()) {
        DWORD chunk = out->size() - done > (1u << 20) ? (1u << 20) : static_cast<DWORD>(out->size() - done);
        DWORD got = 0;
        if (!ReadFile(h, out->data() + done, chunk, &got, nullptr) || got == 0)
            ok = false;
        done += got;
    }
    CloseHandle(h);
    return ok;
}

bool WriteFileAtomically(const std::wstring& target, const uint8_t* data, size_t size)
{
    const std::wstring path = Extended(target);
    std::wstring temp = TempNameBeside(path);
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    if (!WriteAll(h, data, size)) {
        CloseHandle(h);
        DeleteFileW(temp.c_str());
        return false;
    }
    return Commit(h, temp, path);
}

namespace {

// Flushes a file that is being written, from a thread of its own, so that most of the
// data reach the disk while the copy goes on and the final flush has little left.
struct BackgroundFlush {
    HANDLE file;
    HANDLE wake;
    volatile LONG stop;
    static DWORD WINAPI Run(void* self)
    {
        BackgroundFlush* f = static_cast<BackgroundFlush*>(self);
        while (!f->stop) {
            WaitForSingleObject(f->wake, INFINITE);
            if (!f->stop)
                FlushFileBuffers(f->file);
        }
        return 0;
    }
};

}  // namespace

bool CopyFileAtomically(const std::wstring& source, const std::wstring& targetPath, bool* sourceUnreadable)
{
    *sourceUnreadable = false;
    const std::wstring target = Extended(targetPath);
    HANDLE in = CreateFileW(Extended(source).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (in == INVALID_HANDLE_VALUE) {
        *sourceUnreadable = true;
        return false;
    }
    std::wstring temp = TempNameBeside(target);
    HANDLE out = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        CloseHandle(in);
        return false;
    }
    const DWORD kChunk = 4u << 20;
    const ULONGLONG kFlushEvery = 32ull << 20;
    std::vector<uint8_t> buffer;
    bool ok = true;
    try {
        buffer.resize(kChunk);
    } catch (...) {
        ok = false;
    }
    BackgroundFlush flusher = {out, CreateEventW(nullptr, FALSE, FALSE, nullptr), 0};
    HANDLE thread = flusher.wake ? CreateThread(nullptr, 0, &BackgroundFlush::Run, &flusher, 0, nullptr) : nullptr;
    ULONGLONG sinceFlush = 0;
    while (ok) {
        DWORD got = 0;
        if (!ReadFile(in, buffer.data(), kChunk, &got, nullptr)) {
            *sourceUnreadable = true;
            ok = false;
            break;
        }
        if (got == 0)
            break;
        ok = WriteAll(out, buffer.data(), got);
        sinceFlush += got;
        if (thread && sinceFlush >= kFlushEvery) {
            SetEvent(flusher.wake);
            sinceFlush = 0;
        }
    }
    if (thread) {
        InterlockedExchange(&flusher.stop, 1);
        SetEvent(flusher.wake);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    if (flusher.wake)
        CloseHandle(flusher.wake);
    CloseHandle(in);
    if (!ok) {
        CloseHandle(out);
        DeleteFileW(temp.c_str());
        return false;
    }
    return Commit(out, temp, target);
}

}  // namespace dbserver
