// Drives another program's windows from outside, as a person would: waits for a window
// or message box, reads its texts, presses its buttons. Used by the demo and the
// black-box tests of the shipped program.
//
//   uidriver COMMAND ARGS... [-- COMMAND ARGS...]...
//     wait CAPTION [MS]          a visible top-level window with this caption appears
//     gone CAPTION [MS]          no visible window with this caption is left
//     text CAPTION               prints the caption and the texts of its controls
//     textof CAPTION ID          prints the text of control ID exactly, then a line "."
//     press CAPTION ID           clicks the control with this id (a message-box button too)
//     key CAPTION VK             sends a key (decimal virtual-key code) to the focused control
//     keyto CAPTION ID VK        sends a key to the control ID
//     click CAPTION ID           clicks the button ID as a user would (a radio button is set)
//     syscommand CAPTION CMD     posts WM_SYSCOMMAND with CMD (decimal)
//     browse PROMPT PATH         in the folder browser that shows PROMPT, selects PATH
//                                (walking the folder tree, reading the status line) and
//                                presses OK
//     settext CAPTION ID TEXT    puts TEXT into the control ID (a file dialog's name box)
//     sleep MS
// Captions are UTF-8; output is UTF-8. Exit code 0 when every command succeeded, 1 when
// one timed out or found nothing (the rest are not run).
#include <windows.h>
#include <commctrl.h>

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
    std::wstring text;
    HWND found = nullptr;
};

// The first visible window, top-level or child as enumerated, with exactly that text.
BOOL CALLBACK FindText(HWND hwnd, LPARAM lp)
{
    Search* s = reinterpret_cast<Search*>(lp);
    if (IsWindowVisible(hwnd) && Text(hwnd) == s->text) {
        s->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND Find(const std::wstring& caption)
{
    Search s{caption};
    EnumWindows(FindText, reinterpret_cast<LPARAM>(&s));
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

BOOL CALLBACK FindBrowser(HWND top, LPARAM lp)
{
    Search* s = reinterpret_cast<Search*>(lp);
    if (!IsWindowVisible(top))
        return TRUE;
    Search inner{s->text};
    EnumChildWindows(top, FindText, reinterpret_cast<LPARAM>(&inner));
    if (inner.found) {
        s->found = top;
        return FALSE;
    }
    return TRUE;
}

struct ChildOfClass {
    const wchar_t* cls;
    HWND found = nullptr;
};

BOOL CALLBACK FindClass(HWND child, LPARAM lp)
{
    ChildOfClass* c = reinterpret_cast<ChildOfClass*>(lp);
    wchar_t name[64];
    GetClassNameW(child, name, 64);
    if (lstrcmpiW(name, c->cls) == 0) {
        c->found = child;
        return FALSE;
    }
    return TRUE;
}

struct StatusLines {
    std::vector<std::wstring> texts;
};

BOOL CALLBACK CollectStatics(HWND child, LPARAM lp)
{
    wchar_t name[64];
    GetClassNameW(child, name, 64);
    if (lstrcmpiW(name, L"Static") == 0)
        reinterpret_cast<StatusLines*>(lp)->texts.push_back(Text(child));
    return TRUE;
}

bool StartsWithNoCase(const std::wstring& s, const std::wstring& prefix)
{
    return s.size() >= prefix.size() && CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, s.c_str(),
                                                       static_cast<int>(prefix.size()), prefix.c_str(),
                                                       static_cast<int>(prefix.size())) == CSTR_EQUAL;
}

// The folder the browser has selected, as its status line shows it; empty when the
// selection has no file-system path (its OK button is then disabled).
std::wstring SelectedPath(HWND browser)
{
    if (!IsWindowEnabled(GetDlgItem(browser, IDOK)))
        return L"";
    StatusLines lines;
    EnumChildWindows(browser, CollectStatics, reinterpret_cast<LPARAM>(&lines));
    for (const std::wstring& t : lines.texts)
        if (t.size() > 2 && t[1] == L':')
            return t;
    return L"";
}

bool Browse(const std::wstring& prompt, std::wstring target)
{
    while (!target.empty() && target.back() == L'\\' && target.size() > 3)
        target.pop_back();
    Search s{prompt};
    DWORD start = GetTickCount();
    while (!s.found && GetTickCount() - start < 15000) {
        EnumWindows(FindBrowser, reinterpret_cast<LPARAM>(&s));
        if (!s.found)
            Sleep(100);
    }
    if (!s.found)
        return false;
    HWND browser = s.found;
    ChildOfClass tree;
    tree.cls = L"SysTreeView32";
    EnumChildWindows(browser, FindClass, reinterpret_cast<LPARAM>(&tree));
    if (!tree.found)
        return false;
    // Breadth first from the top items; only folders on the way to the target, and
    // places without a path (the computer), are opened.
    std::vector<std::pair<LPARAM, int>> queue;
    for (LPARAM item = SendMessageW(tree.found, TVM_GETNEXTITEM, TVGN_ROOT, 0); item;
         item = SendMessageW(tree.found, TVM_GETNEXTITEM, TVGN_NEXT, item))
        queue.push_back({item, 0});
    for (size_t i = 0; i < queue.size() && i < 500; ++i) {
        LPARAM item = queue[i].first;
        SendMessageW(tree.found, TVM_SELECTITEM, TVGN_CARET, item);
        Sleep(30);
        std::wstring path = SelectedPath(browser);
        if (!path.empty() && CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, path.c_str(), -1, target.c_str(), -1) == CSTR_EQUAL) {
            PostMessageW(browser, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(browser, IDOK)));
            return true;
        }
        bool onTheWay = path.empty() || StartsWithNoCase(target, path);
        if (!onTheWay || queue[i].second >= 8)
            continue;
        SendMessageW(tree.found, TVM_EXPAND, TVE_EXPAND, item);
        Sleep(30);
        for (LPARAM child = SendMessageW(tree.found, TVM_GETNEXTITEM, TVGN_CHILD, item); child;
             child = SendMessageW(tree.found, TVM_GETNEXTITEM, TVGN_NEXT, child))
            queue.push_back({child, queue[i].second + 1});
    }
    return false;
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
        if (verb == L"browse") {
            if (c.size() < 3 || !Browse(c[1], c[2])) {
                std::printf("could not select %s in the folder browser\n", Utf8(c.size() > 2 ? c[2] : L"").c_str());
                return 1;
            }
            std::printf("selected %s in the folder browser\n", Utf8(c[2]).c_str());
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
        } else if (verb == L"textof" && c.size() > 2) {
            HWND control = GetDlgItem(hwnd, _wtoi(c[2].c_str()));
            std::printf("%s\n.\n", Utf8(control ? Text(control) : L"").c_str());
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
            GUITHREADINFO info = {};
            info.cbSize = sizeof info;
            if (GetGUIThreadInfo(thread, &info))
                focus = info.hwndFocus;
            WPARAM vk = static_cast<WPARAM>(_wtoi(c[2].c_str()));
            PostMessageW(focus ? focus : hwnd, WM_KEYDOWN, vk, 0);
            PostMessageW(focus ? focus : hwnd, WM_KEYUP, vk, 0xC0000000);
        } else if ((verb == L"keyto" && c.size() > 3) || (verb == L"click" && c.size() > 2)) {
            HWND control = GetDlgItem(hwnd, _wtoi(c[2].c_str()));
            if (!control) {
                std::printf("no control %s in %s\n", Utf8(c[2]).c_str(), Utf8(caption).c_str());
                return 1;
            }
            if (verb == L"click") {
                PostMessageW(control, BM_CLICK, 0, 0);
            } else {
                WPARAM vk = static_cast<WPARAM>(_wtoi(c[3].c_str()));
                PostMessageW(control, WM_KEYDOWN, vk, 1);
                PostMessageW(control, WM_KEYUP, vk, 0xC0000001);
            }
        } else if (verb == L"settext" && c.size() > 3) {
            HWND control = GetDlgItem(hwnd, _wtoi(c[2].c_str()));
            if (!control) {
                std::printf("no control %s in %s\n", Utf8(c[2]).c_str(), Utf8(caption).c_str());
                return 1;
            }
            SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(c[3].c_str()));
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
