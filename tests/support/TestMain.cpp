// Entry point of every Windows test program: the thread is an OLE single-threaded
// apartment and the runtime's double-byte functions follow the ANSI code page, as in
// the tool, and the file-system calls answer as Windows does (WindowsRules.h).
#include "Support.h"
#include "WindowsRules.h"

#include <gtest/gtest.h>
#include <mbctype.h>
#include <ole2.h>

#include <cstdio>
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
    if (HANDLE watchdog = CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr))
        CloseHandle(watchdog);
    int rc = RUN_ALL_TESTS();
    OleUninitialize();
    return rc;
}
