#include "Support.h"

#include "Dialog.h"
#include "MessageBox.h"
#include "WideText.h"

#include <gtest/gtest.h>
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <iterator>

namespace testsupport {

std::string Ansi(const char* utf8)
{
    int wlen = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
    std::wstring wide(wlen, L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, &wide[0], wlen);
    int alen = WideCharToMultiByte(932, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string ansi(alen, '\0');
    WideCharToMultiByte(932, 0, wide.c_str(), -1, &ansi[0], alen, nullptr, nullptr);
    ansi.resize(alen > 0 ? alen - 1 : 0);
    return ansi;
}

std::string Utf8(const std::string& ansi)
{
    int wlen = MultiByteToWideChar(932, 0, ansi.c_str(), -1, nullptr, 0);
    std::wstring wide(wlen, L'\0');
    MultiByteToWideChar(932, 0, ansi.c_str(), -1, &wide[0], wlen);
    int ulen = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(ulen, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &utf8[0], ulen, nullptr, nullptr);
    utf8.resize(ulen > 0 ? ulen - 1 : 0);
    return utf8;
}

namespace {
MessageBoxRecorder* g_recorder = nullptr;
ModalDriver* g_driver = nullptr;
}  // namespace

MessageBoxRecorder::MessageBoxRecorder()
{
    g_recorder = this;
    m_previous = reinterpret_cast<void*>(winui::SetMessageBoxHandler(&MessageBoxRecorder::Handler));
    m_previousWide = reinterpret_cast<void*>(winui::SetWideMessageBoxHandler(&MessageBoxRecorder::WideHandler));
}

MessageBoxRecorder::~MessageBoxRecorder()
{
    winui::SetMessageBoxHandler(reinterpret_cast<winui::MessageBoxHandler>(m_previous));
    winui::SetWideMessageBoxHandler(reinterpret_cast<winui::WideMessageBoxHandler>(m_previousWide));
    g_recorder = nullptr;
}

int MessageBoxRecorder::WideHandler(HWND owner, const wchar_t* text, const char* caption, UINT flags)
{
    return Handler(owner, testsupport::Shown(text ? text : L"").c_str(), caption, flags);
}

int MessageBoxRecorder::Handler(HWND owner, const char* text, const char* caption, UINT flags)
{
    MessageBoxRecorder* self = g_recorder;
    self->m_shown.push_back({owner, text ? text : "", caption ? caption : "", flags});
    if (self->onShow)
        self->onShow(self->m_shown.back());
    if ((flags & MB_TYPEMASK) == MB_OK)
        return IDOK;  // nothing to answer
    if (self->m_next < self->m_answers.size())
        return self->m_answers[self->m_next++];
    return IDOK;
}

ModalDriver::ModalDriver(std::vector<std::function<bool()>> steps, UINT intervalMs, DWORD limitMs)
    : m_steps(std::move(steps)), m_started(GetTickCount()), m_limit(limitMs)
{
    g_driver = this;
    m_timer = SetTimer(nullptr, 0, intervalMs, &ModalDriver::Tick);
}

ModalDriver::~ModalDriver()
{
    KillTimer(nullptr, m_timer);
    g_driver = nullptr;
}

void CALLBACK ModalDriver::Tick(HWND, UINT, UINT_PTR, DWORD)
{
    ModalDriver* self = g_driver;
    if (!self)
        return;
    // A dialog that never appears, or never closes, must not hang the test run: after
    // the limit the test fails and the innermost dialog is ended.
    if (GetTickCount() - self->m_started > self->m_limit) {
        if (!self->Finished())
            ADD_FAILURE() << "modal driver: step " << self->m_next << " never completed";
        else
            ADD_FAILURE() << "modal driver: the dialog was still open " << self->m_limit / 1000 << " s after the last step";
        self->m_next = self->m_steps.size();
        self->m_started = GetTickCount();  // try again after the limit if this does not end it
        if (HWND open = winui::Dialog::ActiveModalWindow())
            EndDialog(open, IDCANCEL);
        return;
    }
    if (!self->Finished() && self->m_steps[self->m_next]())
        ++self->m_next;
}

void PostClick(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

std::string WindowText(HWND hwnd)
{
    char buf[1024];
    GetWindowTextA(hwnd, buf, sizeof buf);
    return buf;
}

namespace {
struct FindData {
    std::string caption;
    HWND found;
};
BOOL CALLBACK FindProc(HWND hwnd, LPARAM lParam)
{
    FindData* data = reinterpret_cast<FindData*>(lParam);
    if (IsWindowVisible(hwnd) && WindowText(hwnd) == data->caption) {
        data->found = hwnd;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

HWND FindThreadWindow(const std::string& caption)
{
    FindData data{caption, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), &FindProc, reinterpret_cast<LPARAM>(&data));
    return data.found;
}

void SetRegistryValue(HKEY root, const char* subKey, const char* name, DWORD type, const void* data,
                      DWORD size, REGSAM view)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, subKey, 0, nullptr, 0, KEY_WRITE | view, nullptr, &key, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size));
    RegCloseKey(key);
}

void SetMachineValue(const char* subKey, const char* name, DWORD type, const void* data, DWORD size)
{
    SetRegistryValue(HKEY_LOCAL_MACHINE, subKey, name, type, data, size);
}

void SetMachineString(const char* subKey, const char* name, const char* value)
{
    SetMachineValue(subKey, name, REG_SZ, value, static_cast<DWORD>(lstrlenA(value) + 1));
}

void SetMachineDword(const char* subKey, const char* name, DWORD value)
{
    SetMachineValue(subKey, name, REG_DWORD, &value, sizeof value);
}

void DeleteMachineKey(const char* subKey, REGSAM view)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, KEY_ALL_ACCESS | view, &key) == ERROR_SUCCESS) {
        RegDeleteTreeA(key, nullptr);
        RegCloseKey(key);
    }
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, subKey, view, 0);
}

int RunProgram(const std::wstring& commandLine, DWORD limitMs)
{
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    std::wstring line = commandLine;
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return -1;
    WaitForSingleObject(pi.hProcess, limitMs);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return static_cast<int>(code);
}

int RunProgram(const std::string& commandLine) { return RunProgram(Widen(commandLine.c_str()), 30000); }

namespace {
// Test programs lie in build/windows-<arch>/testbin/<name>/bin; the build's programs in its bin.
std::string BuildBin() { return ProgramFolder() + "..\\..\\..\\bin\\"; }

// The kit's standard user may not write the machine's classes: it registers for itself.
// Wine 8 reads no per-user classes, and has no such user: there the kit registers for
// the machine, as the Linux run does.
// An elevated run registers for the machine as well, since COM then reads no per-user
// classes; the kit's runner takes that registration away again.
const char* PerUser() { return InTestKit() && !UnderWine() && !Elevated() ? " /PerUser" : ""; }
}  // namespace

void RegisterStandInServer(const std::string& dataFolder)
{
    CreateDirectoryA(dataFolder.c_str(), nullptr);
    SetMachineString("SOFTWARE\\OrvelDatabaseServer", "DataFolder", dataFolder.c_str());
    ASSERT_EQ(0, RunProgram("\"" + BuildBin() + "DatabaseServer.exe\" /RegServer" + PerUser()));
}

void UnregisterStandInServer()
{
    RunProgram("\"" + BuildBin() + "DatabaseServer.exe\" /UnregServer" + PerUser());
}

bool InTestKit()
{
    char value[8];
    return GetEnvironmentVariableA("ORVEL_TEST_KIT", value, sizeof value) > 0;
}

bool WaitForNoServerProcess()
{
    DWORD start = GetTickCount();
    while (ServerProcesses() > 0 && GetTickCount() - start < 20000)
        Sleep(100);
    return ServerProcesses() == 0;
}

DWORD HandleCount()
{
    DWORD handles = 0;
    if (!UnderWine()) {
        EXPECT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &handles));
        return handles;
    }
    // Wine answers GetProcessHandleCount with 0: its handle table is counted instead.
    struct Entry {
        USHORT process;
        USHORT creatorBackTraceIndex;
        UCHAR objectType;
        UCHAR attributes;
        USHORT handle;
        PVOID object;
        ULONG access;
    };
    struct Table {
        ULONG count;
        Entry entries[1];
    };
    using Query = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    const ULONG kSystemHandleInformation = 16;
    std::vector<char> buffer(1 << 20);
    ULONG needed = 0;
    LONG status;
    while ((status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed)) ==
               static_cast<LONG>(0xC0000004) &&  // STATUS_INFO_LENGTH_MISMATCH
           buffer.size() < (1u << 28))
        buffer.resize(buffer.size() * 2);
    EXPECT_EQ(0, status) << "the handle table could not be read";
    if (status != 0)
        return 0;
    const Table* table = reinterpret_cast<const Table*>(buffer.data());
    USHORT self = static_cast<USHORT>(GetCurrentProcessId());
    DWORD count = 0;
    for (ULONG i = 0; i < table->count; ++i)
        count += table->entries[i].process == self;
    return count;
}

std::string ProgramFolder()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string s = path;
    return s.substr(0, s.find_last_of('\\') + 1);
}

std::string Expand(const char* text)
{
    char buffer[MAX_PATH];
    DWORD n = ExpandEnvironmentStringsA(text, buffer, sizeof buffer);
    return n && n <= sizeof buffer ? std::string(buffer) : std::string();
}

std::string ProfileRoot()
{
    char desktop[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktop);
    std::string path = desktop;
    size_t first = path.find('\\');
    size_t second = first == std::string::npos ? first : path.find('\\', first + 1);
    return second == std::string::npos ? path : path.substr(0, second);
}

std::string AbsentDriveRoot()
{
    DWORD drives = GetLogicalDrives();
    for (char letter = 'Z'; letter > 'D'; --letter)
        if (!(drives & (1u << (letter - 'A'))))
            return std::string(1, letter) + ":\\";
    return "B:\\";
}

std::string TestFolder(const std::string& name)
{
    if (!InTestKit())
        return ProgramFolder() + "..\\" + name;
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string program = self;
    program = program.substr(program.find_last_of('\\') + 1);
    program = program.substr(0, program.find_last_of('.'));
    std::string folder = KitFoldersRoot();
    CreateDirectoryA(folder.c_str(), nullptr);
    folder += "\\" + program;
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder + "\\" + name;
}

void WriteFile(const std::string& path, const std::string& content)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h) << path;
    DWORD written = 0;
    ::WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(h);
}

namespace {
// The \\?\ form of a path given in ANSI, so that names made through it (trailing dots,
// device names) are reached as written.
std::wstring Extended(const std::string& path)
{
    std::wstring full = Widen(FullPath(path).c_str());
    return full.compare(0, 4, L"\\\\?\\") == 0 ? full : L"\\\\?\\" + full;
}

std::string ReadWide(const std::wstring& path)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return std::string();
    std::string bytes;
    char chunk[65536];
    DWORD got = 0;
    while (::ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got)
        bytes.append(chunk, got);
    CloseHandle(h);
    return bytes;
}

// The names in a folder as the disk has them, read in UTF-16.
std::vector<std::wstring> WideEntries(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW f;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &f);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (wcscmp(f.cFileName, L".") != 0 && wcscmp(f.cFileName, L"..") != 0)
            names.push_back(f.cFileName);
    } while (FindNextFileW(h, &f));
    FindClose(h);
    return names;
}

void CollectFiles(const std::wstring& folder, const std::string& prefix, std::map<std::string, std::string>* files)
{
    std::vector<std::wstring> names = WideEntries(folder);
    for (const std::wstring& name : names) {
        std::wstring path = folder + L"\\" + name;
        if (GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY)
            CollectFiles(path, prefix + Shown(name) + "\\", files);
        else
            (*files)[prefix + Shown(name)] = ReadWide(path);
    }
    if (names.empty() && !prefix.empty())
        (*files)[prefix] = "(empty folder)";
}
}  // namespace

std::string Shown(const std::wstring& name)
{
    std::string out, exact;
    for (size_t i = 0; i < name.size(); ++i) {
        // A surrogate pair is one character.
        size_t n = (name[i] >= 0xD800 && name[i] < 0xDC00 && i + 1 < name.size()) ? 2 : 1;
        std::wstring one = name.substr(i, n);
        if (NarrowExactly(one.c_str(), &exact)) {
            out += exact;
        } else {
            unsigned code = n == 2 ? 0x10000 + ((name[i] - 0xD800) << 10) + (name[i + 1] - 0xDC00) : name[i];
            char hex[16];
            std::snprintf(hex, sizeof hex, "<U+%04X>", code);
            out += hex;
        }
        i += n - 1;
    }
    return out;
}

void WriteWide(const std::wstring& path, const std::string& content)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h) << Shown(path);
    DWORD written = 0;
    ::WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(h);
}

std::wstring Utf16(const char* utf8)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring text(static_cast<size_t>(n > 0 ? n : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &text[0], n);
    text.resize(std::wcslen(text.c_str()));
    return text;
}

std::wstring Wide(const std::string& ansiFolder, const char* utf8Name)
{
    return Extended(ansiFolder) + (utf8Name[0] ? L"\\" + Utf16(utf8Name) : L"");
}

std::string ReadFile(const std::string& path) { return ReadWide(Extended(path)); }

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const std::wstring& name : WideEntries(Extended(folder)))
        names.push_back(Shown(name));
    std::sort(names.begin(), names.end());
    return names;
}

std::map<std::string, std::string> FilesBelow(const std::string& folder)
{
    std::map<std::string, std::string> files;
    CollectFiles(Extended(folder), "", &files);
    return files;
}

void RemoveFile(const std::string& path)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
}

}  // namespace testsupport
