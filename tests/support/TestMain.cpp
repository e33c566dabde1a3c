// Entry point of every Windows test program: the thread is an OLE single-threaded
// apartment and the runtime's double-byte functions follow the ANSI code page, as in
// the tool, and the file-system calls answer as Windows does (WindowsRules.h).
#include "Support.h"
#include "WindowsRules.h"

#include <gtest/gtest.h>
#include <mbctype.h>
#include <ole2.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>

namespace {

// A test that hangs (a server call that never returns, a modal loop that nobody ends)
// would hold the whole run until ctest's limit with nothing said. The watchdog names
// the test and ends the program once one test has run this long; none needs a tenth.
const DWORD kTestLimitMs = 90000;

std::mutex g_lock;
std::string g_running;  // the test that runs, empty between tests
DWORD g_startedAt = 0;

class Watch : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo& info) override
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_running = std::string(info.test_suite_name()) + "." + info.name();
        g_startedAt = GetTickCount();
    }
    void OnTestEnd(const testing::TestInfo&) override
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_running.clear();
    }
};

// For the test kit's report (--kit-report=FILE): each test's outcome as the report shows
// it, appended as the test ends, so that a program ended midway keeps what it wrote.
//   passed|failed|skipped Suite.Test
//   | a line of its failures' or skip's message (file:line, then the text)
//   not-needed Suite.Test: a step only Wine needs, not taken (a test property)
class KitReport : public testing::EmptyTestEventListener {
public:
    explicit KitReport(std::string path) : m_path(std::move(path)) {}

private:
    void OnTestStart(const testing::TestInfo&) override { m_message.clear(); }
    void OnTestPartResult(const testing::TestPartResult& part) override
    {
        if (!m_message.empty())
            m_message += "\n";
        if (part.file_name())
            m_message += std::string(part.file_name()) + ":" + std::to_string(part.line_number()) + "\n";
        m_message += part.message();
    }
    void OnTestEnd(const testing::TestInfo& info) override
    {
        const testing::TestResult& result = *info.result();
        const std::string name = std::string(info.test_suite_name()) + "." + info.name();
        std::string text = (result.Failed() ? "failed " : result.Skipped() ? "skipped " : "passed ") + name + "\n";
        if (result.Failed() || result.Skipped()) {
            size_t at = 0;
            while (at <= m_message.size() && !m_message.empty()) {
                size_t end = m_message.find('\n', at);
                text += "| " + m_message.substr(at, end == std::string::npos ? std::string::npos : end - at) + "\n";
                if (end == std::string::npos)
                    break;
                at = end + 1;
            }
        }
        for (int i = 0; i < result.test_property_count(); ++i)
            if (std::strcmp(result.GetTestProperty(i).key(), "not_needed_on_windows") == 0)
                text += "not-needed " + name + ": " + result.GetTestProperty(i).value() + "\n";
        std::ofstream(m_path, std::ios::binary | std::ios::app) << text;
    }

    std::string m_path;
    std::string m_message;
};

DWORD WINAPI Watchdog(void*)
{
    for (;;) {
        Sleep(1000);
        std::lock_guard<std::mutex> hold(g_lock);
        if (!g_running.empty() && GetTickCount() - g_startedAt > kTestLimitMs) {
            std::fprintf(stderr, "FAILED: %s is still running after %lu s: given up (a call that never returned?)\n",
                         g_running.c_str(), kTestLimitMs / 1000);
            std::fflush(stderr);
            std::fflush(stdout);
            TerminateProcess(GetCurrentProcess(), 3);
        }
    }
}

// MinGW's GoogleTest catches no structured exceptions: a test that crashes would end in
// the system's error handling (under Wine a debugger that waits for ever). It is named,
// and the program ends, as the watchdog ends a hang.
LONG WINAPI OnCrash(EXCEPTION_POINTERS* info)
{
    std::fprintf(stderr, "FAILED: %s crashed with exception 0x%08lX at %p: ended\n",
                 g_running.empty() ? "the program" : g_running.c_str(), info->ExceptionRecord->ExceptionCode,
                 info->ExceptionRecord->ExceptionAddress);
    std::fflush(stderr);
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int main(int argc, char** argv)
{
    _setmbcp(_MB_CP_ANSI);
    SetUnhandledExceptionFilter(OnCrash);
    // On Windows the system gives its own answers; the rules stand in for them under Wine.
    if (testsupport::UnderWine())
        testsupport::InstallWindowsRules();
    OleInitialize(nullptr);
    testing::InitGoogleTest(&argc, argv);
    if (testsupport::InTestKit())
        testsupport::RedirectMachineKeysForTestKit();
    testing::UnitTest::GetInstance()->listeners().Append(new Watch);
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--kit-report=", 13) == 0)
            testing::UnitTest::GetInstance()->listeners().Append(new KitReport(argv[i] + 13));
    if (HANDLE watchdog = CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr))
        CloseHandle(watchdog);
    int rc = RUN_ALL_TESTS();
    OleUninitialize();
    return rc;
}
