// Helpers shared by the Windows tests: expected texts, the message-box seam, driving
// modal dialogs, registry and file set-up.
#pragma once
#include "KitSystem.h"

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

// Text as the program holds it (ANSI, code page 932) from UTF-8 source text, so that
// expected messages are written once, readably, and compared byte for byte.
std::string Ansi(const char* utf8);
// The reverse, for readable failure messages.
std::string Utf8(const std::string& ansi);

struct ShownMessage {
    HWND owner;
    std::string text;     // ANSI bytes as the program passed them (a UTF-16 box's as Shown)
    std::string caption;
    UINT flags;
};

// Records every message box the program shows and answers it: a box with OK alone gets
// OK; one that asks takes the next of the answers given, then IDOK.
class MessageBoxRecorder {
public:
    MessageBoxRecorder();
    ~MessageBoxRecorder();
    void Answer(int button) { m_answers.push_back(button); }
    const std::vector<ShownMessage>& Shown() const { return m_shown; }
    // Called when a message box is shown (after recording it), on the UI thread.
    std::function<void(const ShownMessage&)> onShow;

private:
    static int Handler(HWND owner, const char* text, const char* caption, UINT flags);
    static int WideHandler(HWND owner, const wchar_t* text, const char* caption, UINT flags);
    std::vector<ShownMessage> m_shown;
    std::vector<int> m_answers;
    size_t m_next = 0;
    void* m_previous;
    void* m_previousWide;
};

// Runs steps from a thread timer, which fires inside every nested modal loop of this
// thread. Each step is tried on every tick until it returns true; then the next one.
class ModalDriver {
public:
    // A run that has not ended limitMs after it began (or after the last step) fails and
    // the innermost dialog is ended.
    explicit ModalDriver(std::vector<std::function<bool()>> steps, UINT intervalMs = 20, DWORD limitMs = 20000);
    ~ModalDriver();
    bool Finished() const { return m_next >= m_steps.size(); }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    std::vector<std::function<bool()>> m_steps;
    size_t m_next = 0;
    UINT_PTR m_timer;
    DWORD m_started;
    DWORD m_limit;
};

// Posts a button click to a dialog (a sent click would re-enter the modal loop).
void PostClick(HWND dialog, int id);
// The visible top-level window of this thread with that caption (ANSI), or nullptr.
HWND FindThreadWindow(const std::string& caption);
std::string WindowText(HWND hwnd);

// Registry values for a test, written in the 32-bit view (where the system's 32-bit
// installer writes them) whatever this test program's own architecture.
void SetRegistryValue(HKEY root, const char* subKey, const char* name, DWORD type, const void* data,
                      DWORD size, REGSAM view = KEY_WOW64_32KEY);
void SetMachineString(const char* subKey, const char* name, const char* value);
void SetMachineValue(const char* subKey, const char* name, DWORD type, const void* data, DWORD size);
void SetMachineDword(const char* subKey, const char* name, DWORD value);
void DeleteMachineKey(const char* subKey, REGSAM view = KEY_WOW64_32KEY);

// Runs a program and waits for it (at most 30 s); its exit code, -1 if it did not start.
int RunProgram(const std::string& commandLine);
// The same with a command line in UTF-16 (a program placed where the code page cannot
// spell the path), waiting at most limitMs.
int RunProgram(const std::wstring& commandLine, DWORD limitMs);
// The stand-in server of this build, registered in this prefix with its databases in
// dataFolder (created), and unregistered again.
void RegisterStandInServer(const std::string& dataFolder);
void UnregisterStandInServer();
// Run by the Windows test kit (tools/package-tests): a real PC, a standard user.
bool InTestKit();
// UnderWine(), Elevated(), FullPath() and the kit's folders root: KitSystem.h.
// The kit's user may not write HKLM: this program's own calls that name HKLM, and the
// stand-in server while the key exists, use HKCU\Software\OrvelTestKit\Machine instead.
void RedirectMachineKeysForTestKit();
// Waiting (at most 20 s) for no stand-in server process (ServerProcesses: KitSystem.h).
bool WaitForNoServerProcess();

// The handles this process holds: the same before and after a call means it closed
// every handle it opened (keys, searches, files).
DWORD HandleCount();

// The folder of the running test program, with a trailing backslash.
std::string ProgramFolder();
// A folder of the test's own that the folder rules accept as a destination or work
// folder (made, with its parents, when missing): beside the program's folder in the
// build; in the test kit, which a person unzips under the user profile (refused by the
// rules), under <system drive>\OrvelTestKit\<program>, which a standard user may make
// and which the kit's runner takes away.
std::string TestFolder(const std::string& name);
// The running system's names, never ours: an environment text expanded ("%windir%"),
// the user-profile root (the desktop's path cut at its second backslash), the root of a
// drive letter nothing is mapped to.
std::string Expand(const char* text);

// The current folder set to folder while this lives, and put back after, also when a
// test stops early.
class CurrentFolder {
public:
    explicit CurrentFolder(const std::string& folder)
    {
        GetCurrentDirectoryA(MAX_PATH, m_previous);
        SetCurrentDirectoryA(folder.c_str());
    }
    ~CurrentFolder() { SetCurrentDirectoryA(m_previous); }
    CurrentFolder(const CurrentFolder&) = delete;
    CurrentFolder& operator=(const CurrentFolder&) = delete;

private:
    char m_previous[MAX_PATH];
};
std::string ProfileRoot();
std::string AbsentDriveRoot();

// Writes a whole file (ANSI path); removes it.
void WriteFile(const std::string& path, const std::string& content);
void RemoveFile(const std::string& path);
// A whole file's bytes (empty when it cannot be read); the names in a folder, sorted,
// every one but "." and ".." (a dot name left behind is something left behind). The disk
// is read in UTF-16, and a name is shown in ANSI where the code page spells it exactly,
// a character it cannot spell as <U+XXXX> (Shown): never as another name.
std::string ReadFile(const std::string& path);
std::vector<std::string> FolderEntries(const std::string& folder);
// Every file below folder with its bytes, by path relative to it; an empty folder as
// "<path>\\" with the text "(empty folder)".
std::map<std::string, std::string> FilesBelow(const std::string& folder);
// RemoveTree(folder): KitSystem.h.
std::string Shown(const std::wstring& name);
std::wstring Utf16(const char* utf8);
// The \\?\ path of the entry named utf8Name (made through the wide calls: names the code
// page cannot spell, trailing dots) in a folder given in ANSI; the folder's own with "".
std::wstring Wide(const std::string& ansiFolder, const char* utf8Name);
void WriteWide(const std::wstring& path, const std::string& content);

}  // namespace testsupport
