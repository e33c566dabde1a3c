// What the user waits for, on the real OrvelClientTool.exe of this build driven from
// outside, each against a floor measured in the same run:
//   - start-up to the menu shown, cold (no server running) and warm, against a dialog
//     program of ours that only connects to the stand-in and shows a window;
//   - the backup button to the dialog shown with its lists filled, at full size (200
//     shelves, 5,000 BOOKs, 10,000 links, 500 carried), against the same rows read by a
//     bare client;
//   - an export of a 256 MB BOOK, from 実行 to the closing message, against a copy of
//     the same file that is flushed to disk.
#include "ServerConnection.h"

#include "BenchClock.h"
#include "BenchData.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

const wchar_t kMenu[] = L"メンテナンス（クライアント用）";
const wchar_t kBackup[] = L"持ち出し中のBOOKのバックアップ";
const wchar_t kBox[] = L"OrvelClientTool";
const int kShelves = 200, kBooks = 5000, kLinks = 10000, kCarried = 500, kMegabytes = 256;

std::string Narrow(const std::wstring& w)
{
    int n = WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(n - 1, '\0');
    WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, &s[0], n, nullptr, nullptr);
    return s;
}

void SetMachine(const wchar_t* subKey, const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    HKEY key;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, nullptr, 0, KEY_WRITE | KEY_WOW64_32KEY, nullptr, &key, nullptr);
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}
void SetText(const wchar_t* subKey, const wchar_t* name, const std::wstring& value)
{
    SetMachine(subKey, name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void WriteText(const std::wstring& path, const std::string& text)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    Write(h, text.data(), text.size());
    CloseHandle(h);
}

struct Search {
    DWORD pid;
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK FindTop(HWND hwnd, LPARAM param)
{
    Search* s = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    wchar_t text[256] = L"";
    if (pid == s->pid && IsWindowVisible(hwnd) && GetWindowTextW(hwnd, text, 256) && wcscmp(text, s->caption) == 0) {
        s->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// Polls every 1% of the time waited so far (1 to 50 ms): often enough for a fine
// figure, rarely enough that the polling itself takes no CPU the tool and the server,
// on the same two cores, would have had.
void Pause(double since)
{
    double ms = (Now() - since) * 10;
    Sleep(static_cast<DWORD>(ms < 1 ? 1 : ms > 50 ? 50 : ms));
}

// The visible window of that process with that caption, waited for (at most 60 s).
HWND WaitWindow(DWORD pid, const wchar_t* caption)
{
    double start = Now();
    while (Now() < start + 60) {
        Search s = {pid, caption, nullptr};
        EnumWindows(FindTop, reinterpret_cast<LPARAM>(&s));
        if (s.found)
            return s.found;
        Pause(start);
    }
    return nullptr;
}

void Press(HWND window, int id)
{
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
}

void WaitGone(HWND window)
{
    for (int i = 0; i < 10000 && IsWindow(window) && IsWindowVisible(window); ++i)
        Sleep(1);
}

// Starts a program and waits for its first window; the time from the start.
double Start(const std::wstring& exe, const wchar_t* caption, PROCESS_INFORMATION* pi, HWND* window)
{
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    std::wstring line = L"\"" + exe + L"\"";
    double t0 = Now();
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, pi))
        return -1;
    *window = WaitWindow(pi->dwProcessId, caption);
    return *window ? Now() - t0 : -1;
}

void End(PROCESS_INFORMATION* pi, HWND window, int closeId)
{
    if (window)
        Press(window, closeId);
    if (!window || WaitForSingleObject(pi->hProcess, 20000) != WAIT_OBJECT_0)
        TerminateProcess(pi->hProcess, 1);
    CloseHandle(pi->hProcess);
    CloseHandle(pi->hThread);
}

// The median start-up of a program to its first window, cold or warm.
double StartUp(const std::wstring& exe, const wchar_t* caption, int closeId, bool warm)
{
    DatabaseServer* keep = nullptr;
    if (warm)
        ConnectDatabaseServer(&keep);
    std::vector<double> times;
    for (int i = 0; i < 5; ++i) {
        if (!warm)
            WaitForNoServer();
        PROCESS_INFORMATION pi = {};
        HWND window = nullptr;
        double t = Start(exe, caption, &pi, &window);
        if (t < 0) {
            ReleaseDatabaseServer(&keep);
            if (window || pi.hProcess)
                End(&pi, window, closeId);
            return -1;
        }
        times.push_back(t);
        End(&pi, window, closeId);
    }
    ReleaseDatabaseServer(&keep);
    return Median(times);
}

// The rows of the three catalogue tables, read by a bare client as the tool reads them;
// -1 when a call failed.
double RawCatalogueRead(DatabaseServer* server)
{
    bool ok = true;
    BSTR db = SysAllocString(L"RariveSystemCommonDB");
    double t0 = Now();
    LONG handle = 0;
    ok = server->OpenDatabase(db, 0, &handle) == 0;
    for (const wchar_t* table : {L"BookShelfTBL", L"BookCommonTBL", L"BookShelfInfoTBL"}) {
        BSTR name = SysAllocString(table);
        LONG rows = 0;
        BSTR key = nullptr;
        ok = server->OpenRecordset(db, name, 0, &rows, &key) == 0 && rows > 0 && ok;
        for (LONG r = 0; ok && r < rows; ++r) {
            VARIANT row;
            VariantInit(&row);
            ok = server->ReadRecord(db, key, r, &row) == 0 && row.vt == (VT_ARRAY | VT_VARIANT);
            VariantClear(&row);
        }
        server->CloseRecordset(db, key);
        SysFreeString(key);
        SysFreeString(name);
    }
    server->CloseDatabase(db);
    double t = Now() - t0;
    SysFreeString(db);
    return ok ? t : -1;
}

// The BOOK the backup dialog lists first: on the first shelf in table order holding a
// carried-out BOOK, the first such BOOK in table order (the data's own formulas).
int FirstListedBook()
{
    std::set<int> carried;
    for (int k = 1; k <= kCarried; ++k)
        carried.insert(1 + (k * 37) % kBooks);
    for (int shelf = 1; shelf <= kShelves; ++shelf) {
        int first = 0;
        for (int i = 1; i <= kLinks; ++i) {
            int book = 1 + (i * 13) % kBooks;
            if (1 + (i * 7) % kShelves == shelf && carried.count(book) && (first == 0 || book < first))
                first = book;
        }
        if (first)
            return first;
    }
    return 0;
}

}  // namespace

int main()
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::wstring bin = BenchFolder();
    // A client-only installation: the tool in work\Tools, the system's ini files above it.
    const std::wstring work = bin + L"uibench\\", data = work + L"data\\", out = work + L"out";
    CreateDirectoryW(work.c_str(), nullptr);
    CreateDirectoryW((work + L"Tools").c_str(), nullptr);
    CreateDirectoryW(data.c_str(), nullptr);
    CreateDirectoryW(out.c_str(), nullptr);
    const std::wstring tool = work + L"Tools\\OrvelClientTool.exe";
    CopyFileW((bin + L"OrvelClientTool.exe").c_str(), tool.c_str(), FALSE);
    WriteText(work + L"RariveMenu.ini", "[General]\r\nCarrying=1\r\n");
    WriteCarryInfo(Narrow(work + L"CarryInfo.ini"), kCarried, kBooks);
    SetText(L"SOFTWARE\\OrvelServer", L"SystemType", L"CS");
    DWORD one = 1;
    SetMachine(L"SOFTWARE\\OrvelServer", L"Mobile", REG_DWORD, &one, sizeof one);
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\TamskServer", KEY_WOW64_32KEY, 0);
    SetServerSetting(L"DataFolder", data.c_str());
    HKEY config;  // the server as it runs by default
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\OrvelDatabaseServer", 0, KEY_WRITE | KEY_WOW64_32KEY, &config) == 0) {
        RegDeleteValueW(config, L"Apartment");
        RegCloseKey(config);
    }
    WriteCommonDatabase(Narrow(data), kShelves, kBooks, kLinks);
    const std::wstring book = L"BOOK" + std::to_wstring(FirstListedBook());
    MakeBigDatabase(data + book + L".mdf", kMegabytes);

    // Start-up.
    const std::wstring floorExe = bin + L"startup_floor.exe";
    for (bool warm : {false, true}) {
        double floor = StartUp(floorExe, L"StartupFloor", IDOK, warm);
        double value = StartUp(tool, kMenu, IDOK, warm);
        const char* name = warm ? "start-up to the menu, warm (s)" : "start-up to the menu, cold (s)";
        if (floor < 0 || value < 0)
            Failed(name, floor < 0 ? "the floor program's window did not come" : "the menu did not come");
        else
            Line(name, value, floor, "s", value / floor, "<= 1.2");
    }

    // The backup dialog at full size. The restart prompt comes at the first press only.
    DatabaseServer* server = nullptr;
    ConnectDatabaseServer(&server);
    PROCESS_INFORMATION pi = {};
    HWND menu = nullptr;
    HWND prompt = nullptr, dialog = nullptr;
    if (Start(tool, kMenu, &pi, &menu) >= 0) {
        Press(menu, 1000);
        prompt = WaitWindow(pi.dwProcessId, kBox);
    }
    if (prompt) {
        Press(prompt, IDOK);
        dialog = WaitWindow(pi.dwProcessId, kBackup);
    }
    // Without the dialog neither figure of it can be measured.
    auto noDialog = [&](const char* why) {
        Failed("backup dialog shown with its lists, full size (s)", why);
        Failed("export of a 256 MB BOOK through the dialog (MB/s)", "no backup dialog");
        End(&pi, nullptr, IDOK);
        ReleaseDatabaseServer(&server);
        return ExitCode();
    };
    if (!dialog)
        return noDialog("the menu, the prompt or the dialog did not come");
    Press(dialog, IDCANCEL);
    WaitGone(dialog);
    std::vector<double> opens, raws;
    bool opened = true;
    for (int i = 0; opened && i < 3; ++i) {
        double t0 = Now();
        Press(menu, 1000);
        dialog = WaitWindow(pi.dwProcessId, kBackup);
        if (!dialog) {
            opened = false;
            break;
        }
        HWND list = GetDlgItem(dialog, 1005);
        while (SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 0)
            Pause(t0);
        opens.push_back(Now() - t0);
        if (i < 2) {
            Press(dialog, IDCANCEL);
            WaitGone(dialog);
        }
        raws.push_back(RawCatalogueRead(server));
        opened = raws.back() >= 0;
    }
    if (!opened)
        return noDialog("the dialog or the bare client's rows failed");
    Line("backup dialog shown with its lists, full size (s)", Median(opens), Median(raws), "s",
         Median(opens) / Median(raws), "<= 1.1");

    // The export of the BOOK, from 実行 to the closing message, three times.
    std::vector<double> exports, copies;
    const std::wstring folder = out + L"\\" + L"工事" + std::to_wstring(FirstListedBook());
    HWND list = GetDlgItem(dialog, 1005);
    PostMessageW(list, WM_KEYDOWN, VK_DOWN, 1);
    PostMessageW(list, WM_KEYUP, VK_DOWN, 0xC0000001);
    while (SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0) == 0)
        Sleep(1);
    SendMessageW(GetDlgItem(dialog, 1012), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(out.c_str()));
    bool done = true;
    for (int i = 0; i < 3; ++i) {
        DeleteFileW((folder + L"\\" + book + L".mdf").c_str());
        RemoveDirectoryW(folder.c_str());
        double t0 = Now();
        Press(dialog, IDOK);
        HWND box = WaitWindow(pi.dwProcessId, kBox);
        exports.push_back(Now() - t0);
        wchar_t text[256] = L"";
        if (box)
            GetWindowTextW(GetDlgItem(box, 0xFFFF), text, 256);
        done = done && box && wcscmp(text, L"BOOKのエクスポートが終了しました。") == 0 &&
               SameFiles(folder + L"\\" + book + L".mdf", data + book + L".mdf");
        if (!box)
            break;
        Press(box, IDOK);
        WaitGone(box);

        std::wstring copy = out + L"\\copy.mdf";
        copies.push_back(FlushedCopy(data + book + L".mdf", copy, Now));
        done = done && copies.back() >= 0;
        DeleteFileW(copy.c_str());
    }
    if (!done) {
        Failed("export of a 256 MB BOOK through the dialog (MB/s)",
               "the export did not end with its closing message and the complete backup");
    } else {
        double exportMBs = kMegabytes / Median(exports), copyMBs = kMegabytes / Median(copies);
        Line("export of a 256 MB BOOK through the dialog (MB/s)", exportMBs, copyMBs, "MB/s", exportMBs / copyMBs,
             ">= 0.9 (flushed copy)");
    }

    Press(dialog, IDCANCEL);
    WaitGone(dialog);
    End(&pi, menu, IDOK);
    ReleaseDatabaseServer(&server);
    DeleteFileW((data + book + L".mdf").c_str());
    DeleteFileW((folder + L"\\" + book + L".mdf").c_str());
    RemoveDirectoryW(folder.c_str());
    CoUninitialize();
    return ExitCode();
}
