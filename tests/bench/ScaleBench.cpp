// Benchmark of the stand-in at full size: a BOOK of 3 GB (past 2 GiB, and more than a
// 32-bit process can address) made by dbtool create from its description, backed up and
// restored by the server, each against a flushed copy of the same bytes in the same run
// made as the work must make its file (beside the old one, then renamed over it), with
// the peak private memory of the process that did the work. A copy in place (the old
// file truncated first) is shown beside it for reference. Every figure comes from
// a run whose exit code and result were checked: the database verifies and holds the
// rows it was given; the backup and the restored database equal their sources.
//   scale_bench [MEGABYTES [RUNS]]   (default 3072 MB, 5 runs of each)
#include "ServerConnection.h"

#include "BenchClock.h"
#include "BenchData.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

const double kMiB = 1024.0 * 1024.0;
const char kMemoryGoal[] = "< 64 MB (plus the largest row, 2.5 KB here)";

// The description of a table of about `bytes` in the database: rows of an index and
// three values of 420 characters (2.5 KB a row in the file). The number of rows written.
uint64_t WriteDescription(const std::wstring& path, uint64_t bytes)
{
    const uint64_t rowBytes = 4 + 2 * 7 + 3 * (4 + 2 * 420);
    const uint64_t rows = bytes / rowBytes;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    const std::string values = "\t" + std::string(420, 'a') + "\t" + std::string(420, 'b') + "\t" + std::string(420, 'c') + "\n";
    std::string block = "T_Index\tA\tB\tC\n";
    bool ok = true;
    for (uint64_t i = 0; ok && i < rows; ++i) {
        char index[24];
        std::snprintf(index, sizeof index, "%07llu", static_cast<unsigned long long>(i));
        block += index;
        block += values;
        if (block.size() >= (4u << 20) || i + 1 == rows) {
            DWORD written = 0;
            ok = WriteFile(h, block.data(), static_cast<DWORD>(block.size()), &written, nullptr) && written == block.size();
            block.clear();
        }
    }
    // On the disk before anything is timed: its writing back would slow what follows.
    ok = FlushFileBuffers(h) && ok;
    ok = CloseHandle(h) && ok;
    return ok ? rows : 0;
}

// Samples a process's private memory every 10 ms from a thread of its own: Wine reports
// only the current figure, Windows the peak too; the larger of the two is kept.
class PeakMemory {
public:
    explicit PeakMemory(HANDLE process) : m_process(process)
    {
        m_thread = CreateThread(nullptr, 0, &PeakMemory::Run, this, 0, nullptr);
    }
    ~PeakMemory() { Stop(); }
    // Peak and first sample, in MB; the peak is 0 when no sample could be taken.
    double Stop()
    {
        if (m_thread) {
            InterlockedExchange(&m_stop, 1);
            WaitForSingleObject(m_thread, INFINITE);
            CloseHandle(m_thread);
            m_thread = nullptr;
        }
        return m_peak / kMiB;
    }
    double First() const { return m_first / kMiB; }
    void Sample()
    {
        PROCESS_MEMORY_COUNTERS_EX c = {};
        c.cb = sizeof c;
        if (GetProcessMemoryInfo(m_process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&c), sizeof c)) {
            // The private bytes committed (Wine: resident anonymous memory and swap).
            SIZE_T now = std::max(c.PrivateUsage, c.PagefileUsage);
            if (!m_first)
                m_first = now;
            m_peak = std::max({m_peak, now, c.PeakPagefileUsage});
        }
    }

private:
    static DWORD WINAPI Run(void* self)
    {
        PeakMemory* p = static_cast<PeakMemory*>(self);
        while (!p->m_stop) {
            p->Sample();
            Sleep(10);
        }
        p->Sample();
        return 0;
    }
    HANDLE m_process;
    HANDLE m_thread = nullptr;
    volatile LONG m_stop = 0;
    SIZE_T m_peak = 0, m_first = 0;
};

void MemoryLine(const char* name, double peak, double atRest)
{
    std::printf("%-44s %10.1f MB  at rest %10.1f MB  goal %s\n", name, peak, atRest, kMemoryGoal);
    std::fflush(stdout);
}

// Runs a program; its exit code (-1 when it did not start), its output, its peak memory.
int Run(const std::wstring& commandLine, std::string* output, double* peak, double* atRest, double* seconds)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return -1;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi = {};
    std::wstring line = commandLine;
    double t0 = Now();
    BOOL started = CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return -1;
    }
    DWORD code = static_cast<DWORD>(-1);
    {
        PeakMemory memory(pi.hProcess);
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
            output->append(buffer, got);
        WaitForSingleObject(pi.hProcess, INFINITE);
        *seconds = Now() - t0;
        *peak = memory.Stop();
        *atRest = memory.First();
    }
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(readEnd);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return static_cast<int>(code);
}

uint64_t FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &d))
        return 0;
    return (uint64_t(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
}

// One operation of the server on the BOOK, timed, with the server's memory meanwhile.
long ServerCall(DatabaseServer* server, HANDLE process, long mode, const std::wstring& path, double* seconds,
                double* peak, double* atRest)
{
    BSTR name = SysAllocString(L"BenchScale");
    BSTR file = SysAllocString(path.c_str());
    PeakMemory memory(process);
    Sleep(50);  // a sample at rest first
    double t0 = Now();
    long rc = server->BackupRestoreDatabase(mode, name, file);
    *seconds = Now() - t0;
    *peak = memory.Stop();
    *atRest = memory.First();
    SysFreeString(name);
    SysFreeString(file);
    return rc;
}

// One run of the work measured: its time and its process's memory, or why it failed.
struct Sample {
    double seconds = 0, peak = 0, atRest = 0;
    std::string failure;
};

// One figure: the work once untimed, then `runs` runs, each with the flushed copies of
// `source` beside their target (the baseline) and in place (for reference). Every run
// replaces a file of its size, and so does every copy: the untimed run makes them so
// that all find one. Every other run makes its copies first, so that neither always
// finds the memory and disk as the other has just left them. Prints the figure and the
// memory (the ratio the median of each run's own: the disk's pace drifts from minute to
// minute), or FAILED; false then. `failure`, when given, is why it cannot be measured.
bool Figure(const char* label, const char* goal, const std::string& memoryLabel, int runs, const std::wstring& source,
            const std::wstring& copy, const std::wstring& place, std::string failure,
            const std::function<Sample()>& work)
{
    std::vector<double> times, peaks, beside, inPlace;
    double atRest = 0;
    auto copies = [&] {
        beside.push_back(FlushedCopy(source, copy, Now, benchdata::CopyMade::Beside));
        inPlace.push_back(FlushedCopy(source, place, Now));
        return beside.back() >= 0 && inPlace.back() >= 0;
    };
    for (int run = -1; failure.empty() && run < runs; ++run) {
        const bool copiesFirst = run > 0 && run % 2 == 1;
        if (copiesFirst && !copies()) {
            failure = "the baseline copy failed";
            break;
        }
        const Sample sample = work();
        if (!sample.failure.empty())
            failure = sample.failure;
        else if (!copiesFirst && !copies())
            failure = "the baseline copy failed";
        atRest = sample.atRest;
        if (run < 0) {
            beside.clear();
            inPlace.clear();
        } else {
            times.push_back(sample.seconds);
            peaks.push_back(sample.peak);
        }
    }
    if (!failure.empty()) {
        Failed(label, failure);
        Failed(memoryLabel.c_str(), "no run to measure");
        return false;
    }
    const double megabytes = FileSize(source) / kMiB;
    std::vector<double> ratios, placeRatios;
    for (size_t i = 0; i < times.size(); ++i) {
        ratios.push_back(beside[i] / times[i]);
        placeRatios.push_back(inPlace[i] / times[i]);
    }
    Line(label, megabytes / Median(times), megabytes / Median(beside), "MB/s", Median(ratios), goal);
    std::printf("  %-42s %10.4f MB/s  ratio %6.2f  (reference: the copy truncates its target first)\n",
                "against a flushed copy in place", megabytes / Median(inPlace), Median(placeRatios));
    MemoryLine(memoryLabel.c_str(), *std::max_element(peaks.begin(), peaks.end()), atRest);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    const uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 3072;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::wstring bin = BenchFolder(), work = bin + L"scaledata\\", tsv = work + L"tsv\\", data = work + L"data\\";
    CreateDirectoryW(work.c_str(), nullptr);
    CreateDirectoryW(tsv.c_str(), nullptr);
    CreateDirectoryW(data.c_str(), nullptr);
    SetServerSetting(L"DataFolder", data.c_str());
    SetServerSetting(L"Apartment", nullptr);  // the server as it runs by default
    const std::wstring book = data + L"BenchScale.mdf", backup = work + L"backup.mdf", copy = work + L"copy.mdf",
                       place = work + L"place.mdf";
    const std::wstring description = tsv + L"DailyReportTBL.tsv";
    char label[96];

    // dbtool create, streaming the description; the database made must verify with the
    // rows it was given.
    const int kRuns = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::snprintf(label, sizeof label, "dbtool create, %llu MB BOOK (MB/s)", static_cast<unsigned long long>(megabytes));
    const uint64_t rows = WriteDescription(description, megabytes * 1024 * 1024);
    const std::string expected = "(1 tables, " + std::to_string(rows) + " rows)";
    // Folders without their closing backslash: before a quote it would escape it.
    const std::wstring dataArg = data.substr(0, data.size() - 1), tsvArg = tsv.substr(0, tsv.size() - 1);
    // Information only: dbtool is test equipment, and nobody waits on it but this.
    const bool made = Figure(label, "none (flushed copy beside, renamed over)", "  dbtool's peak private memory (MB)",
                             kRuns, book, copy, place,
                             rows ? "" : "the description could not be written", [&] {
        Sample s;
        std::string output, verified;
        double unused = 0;
        int rc = Run(L"\"" + bin + L"dbtool.exe\" --data \"" + dataArg + L"\" create BenchScale \"" + tsvArg + L"\"",
                     &output, &s.peak, &s.atRest, &s.seconds);
        int verify = rc == 0 ? Run(L"\"" + bin + L"dbtool.exe\" verify \"" + book + L"\"", &verified, &unused, &unused, &unused)
                             : -1;
        if (rc != 0)
            s.failure = "dbtool exited with " + std::to_string(rc) + ": " + output;
        else if (verify != 0 || verified.find(expected) == std::string::npos)
            s.failure = "dbtool verify exited with " + std::to_string(verify) + ", expected " + expected + ": " + verified;
        return s;
    });
    DeleteFileW(description.c_str());

    // Backup and restore through the server, the same way; each result equal to its source.
    DatabaseServer* server = nullptr;
    HANDLE process = nullptr;
    if (made && SUCCEEDED(ConnectDatabaseServer(&server)))
        for (DWORD id : testsupport::ServerProcessIds())
            if (!process)
                process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE, FALSE, id);
    struct Step {
        const char* name;
        long mode;
        std::wstring source, result;
    };
    const Step steps[] = {{"backup", 0, book, backup}, {"restore", 1, backup, book}};
    for (const Step& step : steps) {
        std::snprintf(label, sizeof label, "%s, %llu MB BOOK (MB/s)", step.name, static_cast<unsigned long long>(megabytes));
        Figure(label, ">= 0.8 (flushed copy beside, renamed over)",
               std::string("  server's peak private memory, ") + step.name + " (MB)", kRuns, step.source, copy,
               place, process ? "" : made ? "the server could not be reached" : "no BOOK was made", [&] {
            Sample s;
            long answer = ServerCall(server, process, step.mode, backup, &s.seconds, &s.peak, &s.atRest);
            if (answer != 0)
                s.failure = "the server answered " + std::to_string(answer);
            else if (!SameFiles(step.source, step.result))
                s.failure = "the result differs from its source";
            return s;
        });
    }
    if (process)
        CloseHandle(process);
    ReleaseDatabaseServer(&server);
    DeleteFileW(book.c_str());
    DeleteFileW(backup.c_str());
    DeleteFileW(copy.c_str());
    DeleteFileW(place.c_str());
    RemoveDirectoryW(tsv.c_str());
    RemoveDirectoryW(data.c_str());
    RemoveDirectoryW(work.c_str());
    CoUninitialize();
    return ExitCode();
}
