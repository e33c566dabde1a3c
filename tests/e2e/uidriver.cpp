// Drives another program's windows from outside, as a person would: waits for a window
// or message box, reads its texts, presses its buttons. Used by the demo and the
// black-box tests of the shipped program.
//
//   uidriver COMMAND ARGS... [-- COMMAND ARGS...]...
//     wait CAPTION [MS]          a visible top-level window with this caption appears
//     gone CAPTION [MS]          no visible window with this caption is left
//     text CAPTION               prints the caption and the texts of its controls
//     press CAPTION ID           clicks the control with this id (a message-box button too)
//     key CAPTION VK             sends a key (decimal virtual-key code) to the focused control
//     syscommand CAPTION CMD     posts WM_SYSCOMMAND with CMD (decimal)
//     sleep MS
// Captions are UTF-8; output is UTF-8. Exit code 0 when every command succeeded, 1 when
// one timed out or found nothing (the rest are not run).
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& w)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, &s[0], n, nullptr, nullptr);
    s.resize(n > 0 ? n - 1 : 0);
    return s;
}

std::wstring Text(HWND hwnd)
{
    wchar_t buf[2048];
    buf[0] = 0;
    GetWindowTextW(hwnd, buf, 2048);
    return buf;
}

struct Search {
    std::wstring caption;
    HWND found = nullptr;
};

BOOL CALLBACK FindTop(HWND hwnd, LPARAM lp)
{
    Search* s = reinterpret_cast<Search*>(lp);
    if (IsWindowVisible(hwnd) && Text(hwnd) == s->caption) {
        s->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND Find(const std::wstring& caption)
{
    Search s;
    s.caption = caption;
    EnumWindows(FindTop, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

HWND WaitFor(const std::wstring& caption, DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (HWND h = Find(caption))
            return h;
        if (GetTickCount() - start > ms)
            return nullptr;
        Sleep(50);
    }
}

BOOL CALLBACK PrintChild(HWND hwnd, LPARAM)
{
    std::wstring t = Text(hwnd);
    wchar_t cls[64];
    GetClassNameW(hwnd, cls, 64);
    std::printf("  [%d] %s: %s\n", GetDlgCtrlID(hwnd), Utf8(cls).c_str(), Utf8(t).c_str());
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    std::vector<std::vector<std::wstring>> commands(1);
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--") == 0)
            commands.emplace_back();
        else
            commands.back().push_back(argv[i]);
    }
    for (const auto& c : commands) {
        if (c.empty())
            continue;
        const std::wstring& verb = c[0];
        std::wstring caption = c.size() > 1 ? c[1] : L"";
        DWORD ms = 15000;
        if (verb == L"sleep") {
            Sleep(static_cast<DWORD>(_wtoi(caption.c_str())));
            continue;
        }
        if (verb == L"gone") {
            if (c.size() > 2)
                ms = static_cast<DWORD>(_wtoi(c[2].c_str()));
            DWORD start = GetTickCount();
            while (Find(caption)) {
                if (GetTickCount() - start > ms) {
                    std::printf("still there: %s\n", Utf8(caption).c_str());
                    return 1;
                }
                Sleep(50);
            }
            continue;
        }
        if (verb == L"wait" && c.size() > 2)
            ms = static_cast<DWORD>(_wtoi(c[2].c_str()));
        HWND hwnd = WaitFor(caption, ms);
        if (!hwnd) {
            std::printf("no window: %s\n", Utf8(caption).c_str());
            return 1;
        }
        if (verb == L"wait") {
            continue;
        } else if (verb == L"text") {
            std::printf("window: %s\n", Utf8(caption).c_str());
            EnumChildWindows(hwnd, PrintChild, 0);
        } else if (verb == L"press" && c.size() > 2) {
            int id = _wtoi(c[2].c_str());
            HWND control = GetDlgItem(hwnd, id);
            if (!control) {
                std::printf("no control %d in %s\n", id, Utf8(caption).c_str());
                return 1;
            }
            PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
        } else if (verb == L"key" && c.size() > 2) {
            SetForegroundWindow(hwnd);
            HWND focus = nullptr;
            DWORD thread = GetWindowThreadProcessId(hwnd, nullptr);
            GUITHREADINFO info = {sizeof info};
            if (GetGUIThreadInfo(thread, &info))
                focus = info.hwndFocus;
            WPARAM vk = static_cast<WPARAM>(_wtoi(c[2].c_str()));
            PostMessageW(focus ? focus : hwnd, WM_KEYDOWN, vk, 0);
            PostMessageW(focus ? focus : hwnd, WM_KEYUP, vk, 0xC0000000);
        } else if (verb == L"syscommand" && c.size() > 2) {
            PostMessageW(hwnd, WM_SYSCOMMAND, static_cast<WPARAM>(_wtoi(c[2].c_str())), 0);
        } else {
            std::printf("unknown command: %s\n", Utf8(verb).c_str());
            return 2;
        }
        std::fflush(stdout);
    }
    return 0;
}
