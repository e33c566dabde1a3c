// testkit.exe: the Windows test kit's runner (run-tests.cmd starts it). On a real PC, as a
// standard user, it runs every test program of the kit, each with GoogleTest's XML and
// the lines its own listener writes for the report in results\, and writes report.txt:
// per program passed, failed, skipped, every failure with its message, every skip with
// its reason. The test programs register the stand-in
// server for this user alone and keep their machine keys under HKCU; whatever the run
// made (registrations, keys, the test programs' folders, a server still running) is
// removed before it starts and when it ends, also when it is cancelled (Ctrl+C, the
// console window closed). The kit's own folder is read in UTF-16: unzipped where the code
// page cannot spell the path (a user named 𠮷田), its programs run from a copy outside the
// profile, and the results come back into the kit's folder.
#include "../support/KitSystem.h"
#include "WideText.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using testsupport::Elevated;
using testsupport::FullPath;
using testsupport::KitFoldersRoot;
using testsupport::RemoveTree;
using testsupport::RemoveTreeWide;
using testsupport::UnderWine;

namespace {

using testsupport::kKitKey;
// The test programs guard each test (90 s); a whole program gets this long.
const DWORD kProgramLimitMs = 10 * 60 * 1000;

std::wstring g_kit;  // the kit's folder as the system has it, with a trailing backslash
std::string g_run;   // where the programs run and write their results (the kit's folder,
                     // or a copy where the code page cannot spell that)
HANDLE g_job = nullptr;
volatile LONG g_cancelled = 0;
DWORD g_startError = 0;  // why the last program could not be started

std::wstring Widened(const std::string& text) { return Widen(text.c_str()); }
bool Spelled(const std::wstring& path, std::string* out) { return NarrowExactly(path.c_str(), out); }

// A path as the console shows it (what the code page cannot spell as '?').
std::string Shown(const std::wstring& path)
{
    int n = WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(n > 0 ? n : 1), '\0');
    WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, &text[0], n, nullptr, nullptr);
    text.resize(strlen(text.c_str()));
    return text;
}

std::vector<WIN32_FIND_DATAW> Entries(const std::wstring& folder)
{
    std::vector<WIN32_FIND_DATAW> entries;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return entries;
    do {
        if (lstrcmpW(data.cFileName, L".") != 0 && lstrcmpW(data.cFileName, L"..") != 0)
            entries.push_back(data);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return entries;
}

// The test programs of a kit folder (by default the one they run from).
std::vector<std::string> TestPrograms(const std::wstring& root = std::wstring())
{
    std::vector<std::string> names;
    std::string name;
    for (const WIN32_FIND_DATAW& entry : Entries((root.empty() ? Widened(g_run) : root) + L"testbin\\"))
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && Spelled(entry.cFileName, &name))
            names.push_back(name);
    std::sort(names.begin(), names.end());
    return names;
}

// Copies a folder tree (the kit's programs) through the wide calls; false when a file
// could not be copied.
bool CopyTree(const std::wstring& from, const std::wstring& to)
{
    CreateDirectoryW(to.c_str(), nullptr);
    bool all = true;
    for (const WIN32_FIND_DATAW& entry : Entries(from + L"\\")) {
        const std::wstring source = from + L"\\" + entry.cFileName, target = to + L"\\" + entry.cFileName;
        all &= (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? CopyTree(source, target)
                                                                   : CopyFileW(source.c_str(), target.c_str(), FALSE) != FALSE;
    }
    return all;
}

// Runs a command line in the kit's job with its output into a file; its exit code, or
// -1 when it could not start, -2 when it was given up.
long Run(const std::string& commandLine, const std::string& folder, const std::string& output, DWORD limitMs)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out = output.empty() ? INVALID_HANDLE_VALUE
                                : CreateFileA(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    if (out != INVALID_HANDLE_VALUE) {
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        si.hStdOutput = out;
        si.hStdError = out;
    }
    PROCESS_INFORMATION pi;
    std::string line = commandLine;
    BOOL started = CreateProcessA(nullptr, &line[0], nullptr, nullptr, out != INVALID_HANDLE_VALUE,
                                  CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, folder.empty() ? nullptr : folder.c_str(),
                                  &si, &pi);
    if (out != INVALID_HANDLE_VALUE)
        CloseHandle(out);
    if (!started) {
        g_startError = GetLastError();
        return -1;
    }
    AssignProcessToJobObject(g_job, pi.hProcess);
    ResumeThread(pi.hThread);
    long result;
    if (WaitForSingleObject(pi.hProcess, limitMs) != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 3);
        WaitForSingleObject(pi.hProcess, 5000);
        result = -2;
    } else {
        DWORD code = 1;
        GetExitCodeProcess(pi.hProcess, &code);
        result = static_cast<long>(code);
    }
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return g_cancelled ? -3 : result;
}

// Stand-in servers started from this kit end by themselves once idle; one that does not
// within 20 s is ended.
void EndKitServers()
{
    const std::string server = g_run + "bin\\DatabaseServer.exe";
    for (DWORD t0 = GetTickCount();; Sleep(200)) {
        bool running = false;
        for (DWORD id : testsupport::ServerProcessIds()) {
            HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, id);
            if (!process)
                continue;
            char path[MAX_PATH];
            DWORD size = sizeof path;
            if (QueryFullProcessImageNameA(process, 0, path, &size) && lstrcmpiA(path, server.c_str()) == 0) {
                running = true;
                if (GetTickCount() - t0 > 20000)
                    TerminateProcess(process, 1);
            }
            CloseHandle(process);
        }
        if (!running || GetTickCount() - t0 > 25000)
            return;
    }
}

// What a run leaves: the server's per-user registration, the kit's keys, the test
// programs' own folders and files (all but the program in each bin), and the folders
// they made outside the profile.

CRITICAL_SECTION g_cleaning;  // a cancel and the run's own end may clean up at once

void CleanUp()
{
    EnterCriticalSection(&g_cleaning);
    // Under Wine, which reads no per-user classes, and in an elevated run, the programs
    // register for the machine; otherwise the machine's classes are not the kit's to touch.
    const std::string server = "\"" + g_run + "bin\\DatabaseServer.exe\" /UnregServer";
    Run(server + " /PerUser", "", "", 30000);
    if (UnderWine() || Elevated())
        Run(server, "", "", 30000);
    EndKitServers();
    RegDeleteTreeA(HKEY_CURRENT_USER, kKitKey);
    RegDeleteKeyA(HKEY_CURRENT_USER, kKitKey);
    // The kit's own folders, and the copy the programs ran from, if any.
    for (const std::wstring& root : {g_kit, Widened(g_run)}) {
        for (const std::string& name : TestPrograms(root)) {
            const std::wstring folder = root + L"testbin\\" + Widened(name) + L"\\";
            for (const WIN32_FIND_DATAW& entry : Entries(folder))
                if (lstrcmpiW(entry.cFileName, L"bin") != 0)
                    RemoveTreeWide(folder + entry.cFileName);
            for (const WIN32_FIND_DATAW& entry : Entries(folder + L"bin\\"))
                if (lstrcmpiW(entry.cFileName, Widened(name + ".exe").c_str()) != 0)
                    RemoveTreeWide(folder + L"bin\\" + entry.cFileName);
        }
    }
    RemoveTree(KitFoldersRoot());
    LeaveCriticalSection(&g_cleaning);
}

BOOL WINAPI OnCancel(DWORD event)
{
    InterlockedExchange(&g_cancelled, 1);
    TerminateJobObject(g_job, 3);
    CleanUp();
    // Ctrl+C: the run goes on to write its report, marked cancelled. A closed window
    // ends the process once this returns.
    return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Writes a whole file through the wide calls; false when it could not be written whole.
bool WriteText(const std::wstring& path, const std::string& text)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return CloseHandle(h) && ok && written == text.size();
}

std::string Indented(const std::string& text)
{
    std::string out = "    ";
    for (char ch : text)
        out += ch == '\n' ? std::string("\r\n    ") : std::string(1, ch);
    return out + "\r\n";
}

// The report goes by mail: a message is cut to its first lines, each line to a length a
// person reads (a failed comparison of a database would print megabytes); the whole
// message stays in results\.
std::string Brief(const std::string& text, const std::string& program)
{
    const size_t kLines = 12, kLineBytes = 300;
    std::string out;
    size_t lines = 0, at = 0;
    bool cut = false;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? text.size() : end + 1;
        if (lines == kLines) {
            cut = true;
            break;
        }
        if (line.size() > kLineBytes) {
            line = line.substr(0, kLineBytes) + " ...";
            cut = true;
        }
        out += (lines++ ? "\n" : "") + line;
    }
    return cut ? out + "\n(cut here; the whole message is in results\\" + program + ".xml)" : out;
}

// Why Windows would not start a program, and what the person at the PC can do.
std::string StartFailure(DWORD error)
{
    char text[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, sizeof text,
                   nullptr);
    std::string why = text;
    while (!why.empty() && (why.back() == '\n' || why.back() == '\r' || why.back() == ' '))
        why.pop_back();
    return "Windows did not start it: system error " + std::to_string(error) + (why.empty() ? "" : " (" + why + ")") +
           ".\nIf the zip came from the internet, open its Properties, tick Unblock and unzip it again; if a virus"
           "\nscanner or Smart App Control blocked it, allow the kit's folder; then run run-tests.cmd again.";
}

struct Outcome {
    std::string name;
    long exitCode = 0;
    DWORD startError = 0;
    int passed = 0, failed = 0, skipped = 0;
    bool report = false;
    std::string failures, skips, notNeeded;
};

// Reads what one program's own listener wrote for the report (TestMain.cpp, KitReport):
// a verdict line a test, the lines of its message behind "| ", and the steps only Wine
// needs that it did not take.
void ReadResults(const std::string& text, Outcome* o)
{
    std::string verdict, test, message;
    auto close = [&] {
        // A skip's message is its place (file:line) and then its reason, if one was given.
        while (!message.empty() && message.back() == '\n')
            message.pop_back();
        if (verdict == "skipped" && message.find('\n') == std::string::npos)
            message.clear();
        if (verdict == "failed") {
            ++o->failed;
            o->failures += "  " + o->name + ": " + test + "\r\n" + Indented(Brief(message, o->name));
        } else if (verdict == "skipped") {
            ++o->skipped;
            o->skips += "  " + o->name + ": " + test + "\r\n" + Indented(message.empty() ? "(no reason given)" : message);
        } else if (verdict == "passed") {
            ++o->passed;
        }
        verdict.clear();
        message.clear();
    };
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? text.size() : end + 1;
        if (line.compare(0, 2, "| ") == 0) {
            message += (message.empty() ? "" : "\n") + line.substr(2);
        } else if (line.compare(0, 11, "not-needed ") == 0) {
            o->notNeeded += "  " + o->name + ": " + line.substr(11) + "\r\n";
        } else if (size_t space = line.find(' '); space != std::string::npos) {
            close();
            verdict = line.substr(0, space);
            test = line.substr(space + 1);
            o->report = true;
        }
    }
    close();
}

std::string Tail(const std::string& text, int lines)
{
    size_t at = text.size();
    for (int n = 0; n <= lines && at != std::string::npos && at > 0; ++n)
        at = text.rfind('\n', at - 1);
    return at == std::string::npos ? text : text.substr(at + 1);
}

const char kWindows[] =
    "  every program: handles counted with GetProcessHandleCount (Wine answers it with 0,\r\n"
    "  so there the system's handle table is counted instead)\r\n"
    "  every program: the layer that answers as Windows where Wine is lenient steps aside;\r\n"
    "  Windows answers for itself\r\n"
    "  every program: no null graphics driver; dialogs show on this PC's screen\r\n";
const char kUnderWine[] =
    "\r\nUnder Wine\r\n"
    "  the steps only Wine needs are taken (rpcss restarted after a server ended, handles\r\n"
    "  counted in the system's handle table, Windows' answers where Wine is lenient), and\r\n"
    "  the server is registered for the machine: Wine reads no per-user classes\r\n";

std::string SystemLine()
{
    using Version = LONG(WINAPI*)(OSVERSIONINFOW*);
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    auto version = reinterpret_cast<Version>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    if (version)
        version(&info);
    using WineVersion = const char*(CDECL*)();
    auto wine = reinterpret_cast<WineVersion>(reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")));
    BOOL admin = FALSE;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators;
    if (AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                 &administrators)) {
        CheckTokenMembership(nullptr, administrators, &admin);
        FreeSid(administrators);
    }
    char line[256];
    wsprintfA(line, "Windows %lu.%lu.%lu, code page %u, %s%s, %s\r\n", info.dwMajorVersion, info.dwMinorVersion,
              info.dwBuildNumber, GetACP(), wine ? "under Wine " : "not under Wine", wine ? wine() : "",
              admin ? "administrator" : "standard user");
    std::string text = line;
    if (!wine && Elevated())
        text += "Run elevated: COM reads no per-user classes then, so the stand-in was registered for\r\n"
                "the machine and that registration was taken away again at the end\r\n";
    return text;
}

}  // namespace

int main()
{
    wchar_t self[32768];
    DWORD length = GetModuleFileNameW(nullptr, self, 32768);
    std::wstring selfPath(self, length < 32768 ? length : 0);
    wchar_t full[32768];
    const std::wstring above = selfPath.substr(0, selfPath.find_last_of(L'\\') + 1) + L"..\\";
    DWORD n = GetFullPathNameW(above.c_str(), 32768, full, nullptr);
    g_kit = n && n < 32768 ? full : above;
    // Where the code page cannot spell the kit's folder, the programs (which hold paths in
    // ANSI, as the tool does) would read it as another: they run from a copy.
    const bool copied = !Spelled(g_kit, &g_run);
    if (copied)
        g_run = KitFoldersRoot() + "\\programs\\";
    InitializeCriticalSection(&g_cleaning);
    g_job = CreateJobObjectA(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(g_job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    SetConsoleCtrlHandler(OnCancel, TRUE);
    // A program that crashes must end and be reported, not wait for someone to close the
    // system's error box (or, under Wine, a debugger): the test programs inherit this.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);

    std::printf("OrvelClientTool test kit in %s\n", Shown(g_kit).c_str());
    CleanUp();  // an earlier run that was cut off
    std::string copyNote;
    if (copied) {
        CreateDirectoryA(KitFoldersRoot().c_str(), nullptr);
        CreateDirectoryA(g_run.c_str(), nullptr);
        const std::wstring run = Widened(g_run);
        bool whole = CopyTree(g_kit + L"bin", run + L"bin") && CopyTree(g_kit + L"testbin", run + L"testbin");
        copyNote = "The kit's folder has a name code page " + std::to_string(GetACP()) +
                   " cannot spell: its programs ran from a copy in " + g_run + (whole ? "" : " (NOT ALL COPIED)") +
                   "\r\n";
        std::printf("%s", copyNote.c_str());
    }
    const std::string results = g_run + "results\\";
    RemoveTreeWide(g_kit + L"results");
    RemoveTree(g_run + "results");
    CreateDirectoryA(results.c_str(), nullptr);
    SetEnvironmentVariableA("ORVEL_TEST_KIT", "1");
    SetEnvironmentVariableA("OANOCACHE", "1");  // every BSTR freed is seen freed

    SYSTEMTIME started;
    GetLocalTime(&started);
    DWORD t0 = GetTickCount();
    std::vector<Outcome> outcomes;
    for (const std::string& name : TestPrograms()) {
        if (g_cancelled)
            break;
        std::printf("%s ...\n", name.c_str());
        std::fflush(stdout);
        const std::string bin = g_run + "testbin\\" + name + "\\bin\\";
        Outcome o;
        o.name = name;
        o.exitCode = Run("\"" + bin + name + ".exe\" --gtest_brief=1 --gtest_output=xml:\"" + results + name +
                             ".xml\" --kit-report=\"" + results + name + ".report\"",
                         bin, results + name + ".log", kProgramLimitMs);
        o.startError = o.exitCode == -1 ? g_startError : 0;
        ReadResults(ReadText(results + name + ".report"), &o);
        std::printf("  passed %d, failed %d, skipped %d, exit code %ld\n", o.passed, o.failed, o.skipped, o.exitCode);
        outcomes.push_back(o);
    }

    int passed = 0, failed = 0, skipped = 0, programsFailed = 0;
    std::string table, failures, skips, notNeeded;
    for (const Outcome& o : outcomes) {
        passed += o.passed;
        failed += o.failed;
        skipped += o.skipped;
        char row[200];
        const char* verdict = o.exitCode == -2   ? "given up after 10 min"
                              : o.exitCode == -1 ? "not started, see below"
                              : !o.report        ? "no results"
                              : o.failed || o.exitCode ? "FAILED"
                                                       : "ok";
        bool bad = o.exitCode != 0 || o.failed || !o.report;
        programsFailed += bad;
        wsprintfA(row, "  %-18s %6d %6d %7d   %s (exit code %ld)\r\n", o.name.c_str(), o.passed, o.failed, o.skipped,
                  verdict, o.exitCode);
        table += row;
        failures += o.failures;
        if (o.exitCode == -1)
            failures += "  " + o.name + ": " + Indented(StartFailure(o.startError)).substr(4);
        else if (bad && !o.failed)
            failures += "  " + o.name + ": the program ended with exit code " + std::to_string(o.exitCode) +
                        "; the end of its output:\r\n" + Indented(Tail(ReadText(results + o.name + ".log"), 15));
        skips += o.skips;
        notNeeded += o.notNeeded;
    }
    // A run that found no program to start is no run: said, and counted as a failure.
    if (outcomes.empty() && !g_cancelled) {
        failures += "  no test program was found in " + Shown(g_kit) + "testbin\\: the kit is not whole\r\n";
        programsFailed = 1;
    }
    // The results come back into the kit's folder, where the person looks for them.
    if (copied && !CopyTree(Widened(g_run) + L"results", g_kit + L"results"))
        failures += "  the results could not all be copied back from " + results + "\r\n";
    CleanUp();
    char head[200];
    wsprintfA(head, "OrvelClientTool test kit: report\r\nStarted %04u-%02u-%02u %02u:%02u, took %lu s%s\r\n",
              started.wYear, started.wMonth, started.wDay, started.wHour, started.wMinute,
              (GetTickCount() - t0) / 1000, g_cancelled ? ", CANCELLED" : "");
    std::string report = std::string(head) + SystemLine() + copyNote + "\r\n" +
                         "  program            passed failed skipped   result\r\n" + table + "\r\nFailures\r\n" +
                         (failures.empty() ? "  none\r\n" : failures) + "\r\nSkipped, and why\r\n" +
                         (skips.empty() ? "  none\r\n" : skips) +
                         (UnderWine() ? kUnderWine : "\r\nSteps only Wine needs, not taken on this PC\r\n" + notNeeded + kWindows) +
                         "\r\n";
    char closing[100];
    wsprintfA(closing, "%d passed, %d failed, %d skipped\r\n", passed, failed + (programsFailed && !failed), skipped);
    report += closing;
    const bool written = WriteText(g_kit + L"report.txt", report);
    const DWORD writeError = written ? 0 : GetLastError();
    std::printf("\n%s\n", closing);
    if (written)
        std::printf("The report: %sreport.txt\n", Shown(g_kit).c_str());
    else
        std::printf("The report could NOT be written to %sreport.txt (system error %lu); it is above.\n%s",
                    Shown(g_kit).c_str(), writeError, report.c_str());
    return programsFailed || outcomes.empty() || g_cancelled || !written ? 1 : 0;
}
