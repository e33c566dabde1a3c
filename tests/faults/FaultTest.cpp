// The tool under faults, over real COM with the stand-in server: the server failing an
// operation, answering late, or ending in the middle of a backup or restore; a disk that
// fills up or is read-only; a destination removed after it was chosen. For each case:
// the messages the user saw, every file of the destination and of the server's data
// folder before and after, and a tool that still answers (the same dialog then exports
// again with the fault gone). The figures go to fault-campaign.txt for tools/test.
#include "../backup/BackupFixture.h"
#include "BookBackupDialog.h"
#include "DatabaseAccess.h"
#include "ServerConnection.h"
#include "ShellDialogs.h"
#include "StandInData.h"
#include "Storage.h"
#include "Support.h"
#include "WideText.h"
#include "resource.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cctype>
#include <cstdio>
#include <fstream>

using namespace testsupport;
using backuptest::SelectRow;
using backuptest::SwitchMode;

namespace {

const char kConfig[] = "SOFTWARE\\OrvelDatabaseServer";

std::string Data() { return FullPath(ProgramFolder() + "..\\data"); }
std::string Local() { return FullPath(TestFolder("dest")); }
// Made by the test run's set-up when it may mount file systems: T: a 1 MB disk, U: a
// read-only one holding dest\国道改良工事\BOOK0101.mdf.
std::string DisksMissing()
{
    if (InTestKit())
        return "the test disks are mounted by the Linux test run";
    return ReadFile(ProgramFolder() + "..\\disks-unavailable.txt");
}

void WriteDatabase(const std::string& name, const storage::Database& db) { testsupport::WriteDatabase(Data(), name, db); }

// A BOOK of about 2 MB: large enough that a server ending after 64 KB leaves a partial
// file, and too large for the 1 MB disk.
storage::Database BigBook()
{
    storage::Database db;
    storage::Table t;
    t.name = u"DailyReportTBL";
    t.columns = {u"T_Index", u"Work"};
    for (int i = 0; i < 64; ++i)
        t.rows.push_back({U16(std::to_string(i)), std::u16string(16000, u'a' + i % 26)});
    db.tables.push_back(t);
    return db;
}

void SetFault(const char* operation, DWORD code, DWORD delayMs = 0, long row = -1, DWORD exitAfter = 0)
{
    SetMachineString(kConfig, "FaultOperation", operation);
    SetMachineDword(kConfig, "FaultCode", code);
    SetMachineDword(kConfig, "FaultDelayMs", delayMs);
    if (row >= 0)
        SetMachineDword(kConfig, "FaultRow", static_cast<DWORD>(row));
    SetMachineDword(kConfig, "FaultExitAfterBytes", exitAfter);
}

void ClearFaults()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kConfig, 0, KEY_WRITE | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS)
        return;
    for (const char* name : {"FaultOperation", "FaultCode", "FaultDelayMs", "FaultRow", "FaultExitAfterBytes", "RequireMdfName"})
        RegDeleteValueA(key, name);
    RegCloseKey(key);
}

// A message as the user saw it (UTF-8), against a pattern in which '#' stands for a
// number (a code) and '*' for any text (a path).
bool Matches(const char* pattern, const char* text)
{
    if (*pattern == '\0')
        return *text == '\0';
    if (*pattern == '*') {
        for (const char* t = text;; ++t) {
            if (Matches(pattern + 1, t))
                return true;
            if (*t == '\0')
                return false;
        }
    }
    if (*pattern == '#') {
        const char* t = text + (*text == '-');
        if (!isdigit(static_cast<unsigned char>(*t)))
            return false;
        while (isdigit(static_cast<unsigned char>(*t)))
            ++t;
        return Matches(pattern + 1, t);
    }
    return *pattern == *text && Matches(pattern + 1, text + 1);
}

// Windows' service control manager forgets a server process that ended; Wine 8's rpcss
// keeps its class registration and refuses every later activation of the class. After
// a case that ends the server, the test restarts rpcss through the service manager, as
// Windows would have dropped the registration by itself. The old rpcss process must be
// gone before the new one starts: while it lives, its pipe instances still take
// connections that nobody answers, and a client's call to it never returns. (Ending the
// process alone leaves the manager calling it running.)
void ForgetEndedServer()
{
    if (!UnderWine()) {
        testing::Test::RecordProperty("not_needed_on_windows",
                                      "rpcss not restarted: Windows forgets an ended server by itself");
        return;
    }
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE rpcss =
        manager ? OpenServiceW(manager, L"RpcSs", SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS) : nullptr;
    ASSERT_NE(nullptr, rpcss) << "the service manager does not know rpcss: " << GetLastError();
    auto state = [&](DWORD* pid) {
        SERVICE_STATUS_PROCESS status = {};
        DWORD size = 0;
        if (!QueryServiceStatusEx(rpcss, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                                  &size))
            return DWORD(0);
        if (pid)
            *pid = status.dwProcessId;
        return status.dwCurrentState;
    };
    auto waitFor = [&](DWORD wanted) {
        for (DWORD t0 = GetTickCount(); GetTickCount() - t0 < 10000; Sleep(50))
            if (state(nullptr) == wanted)
                return true;
        return false;
    };
    DWORD pid = 0;
    state(&pid);
    HANDLE old = pid ? OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid) : nullptr;
    SERVICE_STATUS status = {};
    ControlService(rpcss, SERVICE_CONTROL_STOP, &status);
    EXPECT_TRUE(waitFor(SERVICE_STOPPED)) << "rpcss did not stop";
    if (old) {
        // Stopped as far as the manager knows: a process that lingers after that serves
        // nobody, and is ended.
        if (WaitForSingleObject(old, 5000) != WAIT_OBJECT_0)
            TerminateProcess(old, 1);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(old, 5000)) << "the old rpcss process did not end";
        CloseHandle(old);
    }
    EXPECT_TRUE(StartServiceW(rpcss, 0, nullptr)) << "rpcss did not start again: " << GetLastError();
    EXPECT_TRUE(waitFor(SERVICE_RUNNING)) << "rpcss is not running again";
    CloseServiceHandle(rpcss);
    CloseServiceHandle(manager);
}

std::string g_folder, g_file;
LPITEMIDLIST AnswerFolder(BROWSEINFOA*) { return ILCreateFromPathA(g_folder.c_str()); }
BOOL AnswerFile(OPENFILENAMEW* info)
{
    lstrcpynW(info->lpstrFile, Widen(g_file.c_str()).c_str(), static_cast<int>(info->nMaxFile));
    return TRUE;
}

// ExportAgain: an export done, then the server ended while the dialog is idle (by the
// user, or an update that restarts it), then 実行 again over the backup just made.
enum class Op { Export, ExportOver, Import, OpenDialog, ExportAgain };

void EndServerProcesses()
{
    for (DWORD id : ServerProcessIds())
        if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id)) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
}
// Long: a destination whose backup path is exactly 259 bytes, the most the system's
// buffers hold.
enum class Where { Local, FullDisk, ReadOnlyDisk, Removed, Long };

struct Case {
    const char* name;
    Op op;
    Where where = Where::Local;
    const char* faultOperation = nullptr;  // nullptr: no server fault
    DWORD code = 0;                        // what the faulty operation answers
    DWORD delayMs = 0;                     // ...after this long
    long row = -1;                         // ReadRecord fails at this row only
    DWORD exitAfter = 0;                   // the server ends after writing this many bytes
    std::vector<std::string> messages;     // UTF-8 patterns
    bool backupWritten = false;            // the export's new backup is where it belongs
    bool requireMdf = false;               // the server refuses a file not named *.mdf, as
                                           // the system's own may
};

using Files = std::map<std::string, std::string>;

std::string BackupIn(const std::string& dest) { return dest + "\\" + Ansi(u8"国道改良工事") + "\\BOOK0101.mdf"; }

// The destination a case exports into or restores from, made ready, with the old backup
// (also the import's source) where the case needs one. Empty, or why the case cannot
// run here.
std::string Prepare(const Case& c, std::string* dest)
{
    *dest = Local();
    if (c.where == Where::FullDisk || c.where == Where::ReadOnlyDisk) {
        const std::string missing = DisksMissing();
        if (!missing.empty())
            return "no test disks here: " + missing;
        *dest = c.where == Where::FullDisk ? "T:\\dest" : "U:\\dest";
        if (c.where == Where::FullDisk) {
            RemoveTree(*dest);
            CreateDirectoryA(dest->c_str(), nullptr);
        }
    } else if (c.where == Where::Long) {
        const size_t used = dest->size() + 1 + Ansi(u8"\\国道改良工事\\BOOK0101.mdf").size();
        *dest += "\\" + std::string(259 - used, 'd');
        CreateDirectoryA(dest->c_str(), nullptr);
    }
    if ((c.op == Op::ExportOver || c.op == Op::Import) && c.where != Where::ReadOnlyDisk) {
        CreateDirectoryA((*dest + "\\" + Ansi(u8"国道改良工事")).c_str(), nullptr);
        WriteFile(BackupIn(*dest), ReadFile(Data() + "\\BOOK0101.mdf"));
    }
    return "";
}

// What the user does in the dialog for the case, and then, with the fault gone, the same
// dialog's export again into a fresh folder: the tool must still answer.
std::vector<std::function<bool()>> Steps(const Case& c, BookBackupDialog& dialog, const MessageBoxRecorder& boxes,
                                         const std::string& dest, size_t* seen)
{
    auto click = [&dialog](int id) {
        return [&dialog, id] {
            PostClick(dialog.Hwnd(), id);
            return true;
        };
    };
    std::vector<std::function<bool()>> steps = {[&dialog] { return dialog.Hwnd() != nullptr; }};
    if (c.op == Op::Import) {
        g_file = BackupIn(dest);
        steps.push_back([&dialog] {
            SwitchMode(dialog.Hwnd(), IDC_MODE_IMPORT);
            PostClick(dialog.Hwnd(), IDC_BROWSE_IMPORT);
            PostClick(dialog.Hwnd(), IDOK);
            return true;
        });
    } else if (c.op != Op::OpenDialog) {
        g_folder = dest;
        steps.push_back([&dialog] {
            PostClick(dialog.Hwnd(), IDC_BROWSE_EXPORT);
            SelectRow(dialog.Hwnd(), 0);
            return true;
        });
        if (c.where == Where::Removed)
            steps.push_back([dest] {
                RemoveTree(dest);
                return true;
            });
        steps.push_back(click(IDOK));
        if (c.op == Op::ExportAgain) {
            steps.push_back([&boxes] { return !boxes.Shown().empty(); });
            steps.push_back([] {
                EndServerProcesses();
                ForgetEndedServer();
                return true;
            });
            steps.push_back(click(IDOK));
        }
    }
    const size_t expected = c.messages.size();
    steps.push_back([&boxes, expected] { return boxes.Shown().size() >= expected; });
    const bool serverEnded = c.exitAfter != 0;
    steps.push_back([&dialog, &boxes, seen, serverEnded] {
        *seen = boxes.Shown().size();
        ClearFaults();
        if (serverEnded)
            ForgetEndedServer();
        g_folder = FullPath(TestFolder("again"));
        RemoveTree(g_folder);
        CreateDirectoryA(g_folder.c_str(), nullptr);
        SwitchMode(dialog.Hwnd(), IDC_MODE_EXPORT);
        PostClick(dialog.Hwnd(), IDC_BROWSE_EXPORT);
        return true;
    });
    steps.push_back([&dialog] {
        SelectRow(dialog.Hwnd(), 0);
        PostClick(dialog.Hwnd(), IDOK);
        return true;
    });
    steps.push_back([&boxes, seen] { return boxes.Shown().size() > *seen; });
    steps.push_back(click(IDCANCEL));
    return steps;
}

// The messages the user saw, against the case's patterns; and whether the tool answered
// afterwards: the follow-up export done, unless the dialog had nothing to list.
bool SawMessagesAndAnswered(const Case& c, const MessageBoxRecorder& boxes, size_t seen)
{
    std::vector<std::string> texts;
    for (const ShownMessage& m : boxes.Shown())
        texts.push_back(Utf8(m.text));
    EXPECT_GE(texts.size(), c.messages.size());
    // The case's own messages, and none more before the follow-up export.
    EXPECT_EQ(c.messages.size(), seen) << "messages the case showed";
    for (size_t i = 0; i < c.messages.size() && i < texts.size(); ++i)
        EXPECT_TRUE(Matches(c.messages[i].c_str(), texts[i].c_str())) << "message " << i << ": " << texts[i];
    return c.op == Op::OpenDialog || (!texts.empty() && texts.back() == u8"BOOKのエクスポートが終了しました。");
}

// What a case did to the files: changed or gone (lost) and not there before (partial), in
// the destination and in the server's data folder, but for the new backup where it belongs.
struct Damage {
    int lost = 0, partial = 0;
};
Damage Compare(const Files& destBefore, const Files& destAfter, const Files& dataBefore, const Files& dataAfter,
               bool backupWritten)
{
    const std::string backup = Ansi(u8"国道改良工事") + "\\BOOK0101.mdf";
    Damage d;
    for (const auto& file : destBefore) {
        auto after = destAfter.find(file.first);
        if (!(backupWritten && file.first == backup) && (after == destAfter.end() || after->second != file.second))
            ++d.lost;
    }
    for (const auto& file : dataBefore) {
        auto after = dataAfter.find(file.first);
        if (after == dataAfter.end() || after->second != file.second)
            ++d.lost;
    }
    for (const auto& file : destAfter)
        if (!destBefore.count(file.first) && !(backupWritten && file.first == backup))
            ++d.partial;
    for (const auto& file : dataAfter)
        if (!dataBefore.count(file.first))
            ++d.partial;
    return d;
}

struct Figures {
    int cases = 0, lost = 0, partial = 0, crashes = 0, hangs = 0;
};
Figures g_figures;

class Faults : public testing::TestWithParam<Case> {
protected:
    static void SetUpTestSuite()
    {
        RegisterStandInServer(Data());
        remove((ProgramFolder() + "..\\fault-campaign.txt").c_str());
    }
    static void TearDownTestSuite()
    {
        ClearFaults();
        UnregisterStandInServer();
        std::ofstream out(ProgramFolder() + "..\\fault-campaign.txt");
        out << "fault campaign: " << g_figures.cases << " cases, data lost: " << g_figures.lost
            << ", partial files left: " << g_figures.partial << ", crashes: " << g_figures.crashes
            << ", hangs: " << g_figures.hangs << "\n";
    }

    void SetUp() override
    {
        ClearFaults();
        WriteOneBookCatalogue(Data(), u8"国道改良工事");
        WriteDatabase("BOOK0101", BigBook());
        WriteFile(ProgramFolder() + "..\\CarryInfo.ini",
                  "[CarryingCommon]\r\nCarryingCnt=1\r\n[CarryingInfo_1]\r\nCarryingBookID=101\r\n");
        SetMachineDword(kConfig, "FreeSpaceMB", 1000);
        RemoveTree(Local());
        CreateDirectoryA(Local().c_str(), nullptr);
        WriteFile(Local() + "\\memo.txt", "the user's own file");
        ASSERT_GE(ConnectDatabaseServer(&server), 0);
        DatabaseAccess::SetServerSlot(&server);
        previousFolder = winui::SetFolderBrowserHandler(AnswerFolder);
        previousFile = winui::SetOpenFileHandler(AnswerFile);
    }
    void TearDown() override
    {
        ClearFaults();
        winui::SetFolderBrowserHandler(previousFolder);
        winui::SetOpenFileHandler(previousFile);
        DatabaseAccess::SetServerSlot(nullptr);
        ReleaseDatabaseServer(&server);
    }

    DatabaseServer* server = nullptr;
    winui::FolderBrowserHandler previousFolder;
    winui::OpenFileHandler previousFile;
};

TEST_P(Faults, NothingLostNothingLeftAndTheToolAnswers)
{
    const Case& c = GetParam();
    std::string dest;
    const std::string cannotRun = Prepare(c, &dest);
    if (!cannotRun.empty())
        GTEST_SKIP() << cannotRun;
    const std::string backup = BackupIn(dest);
    if (c.where == Where::Long) {
        ASSERT_EQ(259u, backup.size());
    }
    // A destination the user removed is made again: what was in it is the user's doing.
    const Files destBefore = c.where == Where::Removed ? Files() : FilesBelow(dest);
    const Files dataBefore = FilesBelow(Data());
    if (c.faultOperation)
        SetFault(c.faultOperation, c.code, c.delayMs, c.row, c.exitAfter);
    if (c.requireMdf)
        SetMachineDword(kConfig, "RequireMdfName", 1);

    MessageBoxRecorder boxes;
    for (int i = 0; i < 4; ++i)
        boxes.Answer(IDYES);  // to the overwrite question
    BookBackupDialog dialog;
    size_t seen = 0;
    bool finished;
    {
        ModalDriver driver(Steps(c, dialog, boxes, dest, &seen));
        dialog.DoModal();
        finished = driver.Finished();
    }
    // A case cut short can leave rpcss holding the ended server even after the follow-up
    // step restarted it: the cases after it start from a fresh one, not from its failure.
    if (HasFailure() && c.exitAfter)
        ForgetEndedServer();
    if (c.op == Op::OpenDialog) {
        // The lists stayed empty; a second opening with the fault gone fills them.
        BookBackupDialog second;
        ModalDriver driver({[&] { return second.Hwnd() != nullptr; },
                            [&] {
                                PostMessageA(second.Hwnd(), WM_COMMAND, IDCANCEL, 0);
                                return true;
                            }});
        second.DoModal();
        EXPECT_EQ(1, second.Catalogue().bookCount) << "the catalogue after the fault";
    }
    EXPECT_TRUE(SawMessagesAndAnswered(c, boxes, seen) && finished) << "the tool did not answer after the fault";

    // Nothing of the user's changed; nothing partial stayed, in the destination or (once
    // a server has started again) in the server's data folder.
    if (c.where == Where::Removed && !c.backupWritten) {
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(dest.c_str())) << "the folders the export made stay";
    }
    const Damage damage = Compare(destBefore, FilesBelow(dest), dataBefore, FilesBelow(Data()), c.backupWritten);
    if (c.backupWritten) {
        EXPECT_EQ(ReadFile(Data() + "\\BOOK0101.mdf"), ReadFile(backup));
    }
    EXPECT_EQ(0, damage.lost) << "user data lost";
    EXPECT_EQ(0, damage.partial) << "partial files left";
    ++g_figures.cases;
    g_figures.lost += damage.lost;
    g_figures.partial += damage.partial;
    g_figures.hangs += finished ? 0 : 1;
    if (c.where == Where::FullDisk)
        RemoveTree(dest);
}

const char kExportFailed[] = u8"「国道改良工事」のエクスポートに失敗しました。#";
const char kConnection[] = u8"データベースへの接続に失敗しました。 #";
const char kQuestion[] = u8"「*」フォルダが既に存在します。\n上書きしますか？";
const char kDone[] = u8"BOOKのエクスポートが終了しました。";

INSTANTIATE_TEST_SUITE_P(
    Campaign, Faults,
    testing::Values(
        Case{.name = "server ends during an export into a new folder", .op = Op::Export,
             .faultOperation = "BackupRestoreDatabase", .exitAfter = 65536, .messages = {kExportFailed, kConnection}},
        Case{.name = "server ends during an export over an old backup", .op = Op::ExportOver,
             .faultOperation = "BackupRestoreDatabase", .exitAfter = 65536,
             .messages = {kQuestion, kExportFailed, kConnection}},
        Case{.name = "server ends during a restore", .op = Op::Import, .faultOperation = "BackupRestoreDatabase",
             .exitAfter = 65536, .messages = {u8"「*」のインポートに失敗しました。#", kConnection}},
        // Gone before the call: the backup is made on a new connection, and the user sees
        // only a successful export's messages.
        Case{.name = "server ended while the dialog was idle", .op = Op::ExportAgain,
             .messages = {kDone, kQuestion, kDone}, .backupWritten = true},
        Case{.name = "backup refused by the server", .op = Op::Export, .faultOperation = "BackupRestoreDatabase",
             .code = 1010, .messages = {kExportFailed}},
        Case{.name = "restore refused by the server", .op = Op::Import, .faultOperation = "BackupRestoreDatabase",
             .code = 1013, .messages = {u8"「*」のインポートに失敗しました。1013"}},
        Case{.name = "backup answered late", .op = Op::Export, .faultOperation = "BackupRestoreDatabase",
             .delayMs = 3000, .messages = {kDone}, .backupWritten = true},
        Case{.name = "free space unknown", .op = Op::Import, .faultOperation = "GetDatabaseDriveFreeSpace",
             .code = 1018, .messages = {u8"「*」のインポートに失敗しました。1018"}},
        // The connection found broken at the free-space query (the server's transport
        // answers so): told as the lost connection it is.
        Case{.name = "connection lost at the free-space query", .op = Op::Import,
             .faultOperation = "GetDatabaseDriveFreeSpace", .code = 0x800706BA,
             .messages = {u8"「*」のインポートに失敗しました。-2147023174", kConnection}},
        Case{.name = "catalogue row unreadable", .op = Op::OpenDialog, .faultOperation = "ReadRecord", .code = 1006,
             .row = 0, .messages = {u8"本棚情報を取得することができませんでした。　-BookShelfTBL"}},
        Case{.name = "catalogue table cannot be opened", .op = Op::OpenDialog, .faultOperation = "OpenRecordset",
             .code = 1004, .messages = {u8"本棚情報を取得することができませんでした。　-BookShelfTBL"}},
        Case{.name = "destination disk full", .op = Op::Export, .where = Where::FullDisk, .messages = {kExportFailed}},
        // The system's own reason, not "no free name" for the export's own folder.
        Case{.name = "destination disk read-only", .op = Op::ExportOver, .where = Where::ReadOnlyDisk,
             .messages = {kQuestion, u8"「国道改良工事」のエクスポートに失敗しました。5"}},
        Case{.name = "destination removed after it was chosen", .op = Op::Export, .where = Where::Removed,
             .messages = {kDone}, .backupWritten = true},
        Case{.name = "backup refused in a destination the export made", .op = Op::Export, .where = Where::Removed,
             .faultOperation = "BackupRestoreDatabase", .code = 1010, .messages = {kExportFailed}},
        Case{.name = "backup path of 259 bytes", .op = Op::Export, .where = Where::Long, .messages = {kDone},
             .backupWritten = true},
        Case{.name = "backup path of 259 bytes, again over itself", .op = Op::ExportOver, .where = Where::Long,
             .messages = {kQuestion, kDone}, .backupWritten = true},
        Case{.name = "restore from a backup path of 259 bytes", .op = Op::Import, .where = Where::Long,
             .messages = {u8"BOOKのインポートが終了しました。"}},
        // A server that insists on the .mdf name: the export hands it the backup's own
        // name, or near the length limit "1.mdf"; the import the backup itself.
        Case{.name = "export to a server that takes *.mdf names only", .op = Op::ExportOver,
             .messages = {kQuestion, kDone}, .backupWritten = true, .requireMdf = true},
        Case{.name = "export of 259 bytes to a server that takes *.mdf names only", .op = Op::Export,
             .where = Where::Long, .messages = {kDone}, .backupWritten = true, .requireMdf = true},
        Case{.name = "restore by a server that takes *.mdf names only", .op = Op::Import,
             .messages = {u8"BOOKのインポートが終了しました。"}, .requireMdf = true}),
    [](const testing::TestParamInfo<Case>& info) { return "case" + std::to_string(info.index); });

}  // namespace
