// Export and import without the dialog, against the in-process fake server: the folder
// a BOOK is backed up in, the proof asked before a folder is emptied, what each export
// and import comes to, and that nothing else on disk changes.
#include "BookTransfer.h"
#include "DatabaseAccess.h"
#include "FakeDatabaseServer.h"
#include "FileSystem.h"
#include "Support.h"
#include "TextConversion.h"
#include "WindowsRules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <thread>

using namespace testsupport;

namespace {

// A record as the catalogue has it: the names through the server's text conversion.
BookRecord Book(const std::string& bookNameUtf8, const char* siteUtf8)
{
    BookRecord b = {};
    for (auto field : {std::make_pair(b.BookName, bookNameUtf8.c_str()), std::make_pair(b.SiteName, siteUtf8)}) {
        BSTR text = SysAllocString(Utf16(field.second).c_str());
        std::strncpy(field.first, BstrToAnsi(text).get(), sizeof b.SiteName - 1);
        SysFreeString(text);
    }
    return b;
}

// What another program does with the old backup meanwhile.
enum class Old { Free, ReadOnly, HeldSharingNothing, HeldForReading, HeldSharingAll };

// One export and what it comes to. Rows name only what differs from a first export of
// BOOK0101 of the site "県道工事" that the server writes.
struct ExportCase {
    const char* site = u8"県道工事";
    const char* bookName = "BOOK0101";
    bool oldBackup = false;  // the BOOK's folder already holds a backup of it
    int answer = 0;          // to the overwrite question; 0: it must not come
    long server = 0;         // what the server's backup answers
    ExportOutcome::Kind kind = ExportOutcome::Exported;
    long code = 0;
    const char* folder = nullptr;  // UTF-8: where the new backup lies afterwards, or nullptr
    const char* under = "";        // levels below the destination the export makes, and
                                   // takes back on failure
    bool underExists = false;      // ...already there, empty: the user's, never taken back
    bool serverWrites = true;      // false: the server answers 0 and writes nothing
    bool emptyWrite = false;       // the server answers 0 and writes an empty file
    bool leaves = false;           // the server leaves files of its own naming beside
    int taken = 0;                 // names .n1... of the BOOK folder already had: .n1 a file
                                   // and .n2 a folder of others' (they stay); from .n3 on,
                                   // left by exports ended midway, each with nothing but the
                                   // export's own names (they go after a success)
    bool oddNames = false;         // the BOOK folder also holds names the code page cannot
                                   // spell, or spells as a way out of the folder
    const char* readOnly = nullptr;  // a read-only file of the old folder ("notes.txt" or one
                                     // in a sub-folder "sub\\notes.txt"): it stays
    const char* kept = nullptr;    // another backup in the BOOK folder (UTF-8): it stays
    const char* oldName = nullptr;  // the old backup's name, where not "<bookName>.mdf"
    const char* inLeftover = nullptr;  // someone's entry in the .n3 an ended export left: it stays
    const char* where = nullptr;   // what the outcome names, below the BOOK folder
    bool placeholder = false;      // the BOOK folder is a cloud file's placeholder
    Old old = Old::Free;
};
// Names in a BOOK folder, made through the wide calls (UTF-8; a trailing "\\" makes a
// folder holding a file): the yen sign the code page would turn into a backslash, Hangul,
// a character beyond Shift-JIS, an emoji, trailing dots and blanks, device names.
const char* const kOddNames[] = {u8"¥..¥victim\\", u8"¥..¥..¥a-keep.txt", u8"사진\\", u8"𠮷田.txt",
                                 u8"\U0001F4F7.jpg", u8"末尾.", u8"末尾 ", "CON", "aux.txt"};
// What the export's own folder may hold: the names it hands the server.
const char* const kOwnNames[] = {"BOOK0101.mdf", "1.mdf", "1"};
const char kSite[] = u8"県道工事";
const ExportOutcome::Kind kFailed = ExportOutcome::Failed, kNotReplaced = ExportOutcome::NotReplaced;

class Transfer : public testing::Test {
protected:
    void SetUp() override
    {
        DatabaseAccess::SetServerSlot(&pointer);
        fake.writeBackups = true;
        fake.backupsWritten = 0;
        RemoveTree(root);
        CreateDirectoryA(root.c_str(), nullptr);
        CreateDirectoryA(dest.c_str(), nullptr);
        // What the user has around the destination: nothing of it may change.
        WriteFile(root + "\\above.txt", "the folder above the destination");
        WriteFile(dest + "\\memo.txt", "the user's own file");
        CreateDirectoryA(other.c_str(), nullptr);
        WriteFile(other + "\\BOOK0999.mdf", "another BOOK's backup");
        // Where a name in a BOOK folder would lead if read through the code page.
        CreateDirectoryA((dest + "\\victim").c_str(), nullptr);
        WriteFile(dest + "\\victim\\precious.txt", "beside the BOOK folder");
        WriteFile(root + "\\a-keep.txt", "two levels above the BOOK folder");
    }
    void TearDown() override { DatabaseAccess::SetServerSlot(nullptr); }

    std::map<std::string, std::string> Files() const { return FilesBelow(root); }
    void Export(const ExportCase& c);
    // Each row of a table in turn, a failure naming its row (from 0).
    void Export(std::initializer_list<ExportCase> rows)
    {
        int row = 0;
        for (const ExportCase& c : rows) {
            SCOPED_TRACE("row " + std::to_string(row++));
            Export(c);
        }
    }

    FakeDatabaseServer fake;
    DatabaseServer* pointer = &fake;
    std::string root = TestFolder("transfer");
    std::string dest = root + "\\dest";
    std::string other = dest + "\\" + Ansi(u8"国道改良工事");
    // links\dest\linked leads to links\elsewhere, which holds precious.mdf: made before
    // the tests run, since Wine makes no links itself.
    std::string linksDest = ProgramFolder() + "..\\links\\dest";
    static constexpr const char* kLinksFromLinux = "the links are made by a Unix shell in the Linux test run";
};

}  // namespace

TEST(TransferNames, TheFolderABookIsBackedUpIn)
{
    struct Case {
        const char* site;  // UTF-8
        const char* bookName;
        const char* folder;  // UTF-8; empty: no folder name at all
    };
    const Case cases[] = {
        /* 0 */ {u8"国道改良工事", "BOOK0101", u8"国道改良工事"},
        /* 1 */ {u8"ソフト表示板能", "BOOK0101", u8"ソフト表示板能"},  // trail bytes 0x5C
        /* 2 */ {u8"工事A/第1工区", "BOOK0101", u8"工事A"},
        /* 3 */ {".", "BOOK0101", "BOOK0101"},
        /* 4 */ {"..", "BOOK0101", "BOOK0101"},
        /* 5 */ {"...", "BOOK0101", "BOOK0101"},
        /* 6 */ {" ", "BOOK0101", "BOOK0101"},
        /* 7 */ {". .", "BOOK0101", "BOOK0101"},
        /* 8 */ {u8"国道改良工事.", "BOOK0101", "BOOK0101"},  // would be another BOOK's folder
        /* 9 */ {u8"国道改良工事 ", "BOOK0101", "BOOK0101"},
        /* 10 */ {"CON", "BOOK0101", "BOOK0101"},
        /* 11 */ {"nul.txt", "BOOK0101", "BOOK0101"},
        /* 12 */ {"Com1", "BOOK0101", "BOOK0101"},
        /* 13 */ {u8"/名前なし", "BOOK0101", "BOOK0101"},
        /* 14 */ {"..:x", "BOOK:0101", "BOOK"},  // the database name is cut the same way
        /* 15 */ {".", "CON", ""},
        /* 16 */ {"..", "", ""},
        // A site the code page cannot spell whole: no folder of its own, not even where the
        // cut would drop what it lacks (it could be another site's, "A", "Cafe", "山田").
        /* 17 */ {u8"A현장", "BOOK0101", "BOOK0101"},
        /* 18 */ {u8"Café", "BOOK0101", "BOOK0101"},
        /* 19 */ {u8"山田¥邸", "BOOK0101", "BOOK0101"},
        /* 20 */ {u8"工区〜2", "BOOK0101", "BOOK0101"},
        /* 21 */ {u8"道路改良工事:B工区𠮷", "BOOK0101", "BOOK0101"},
        /* 22 */ {u8"Café", u8"BOOKé", ""},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const Case& c = cases[i];
        EXPECT_EQ(Ansi(c.folder), BookFolderName(Book(c.bookName, c.site))) << "case " << i << ": " << c.site;
    }
}

TEST_F(Transfer, DestinationChecks)
{
    struct Case {
        std::string destination;
        bool bookSelected;
        DestinationCheck check;
    };
    const Case cases[] = {
        /* 0 */ {dest, true, DestinationCheck::Ok},
        /* 1 */ {"", true, DestinationCheck::Missing},
        /* 2 */ {dest + "\\memo.txt", true, DestinationCheck::NotAFolder},
        /* 3 */ {dest + "\\removed after it was chosen", true, DestinationCheck::Ok},  // made again
        /* 4 */ {dest, false, DestinationCheck::NoBookSelected},
        /* 5 */ {Expand("%windir%"), true, DestinationCheck::Unusable},
        /* 6 */ {"C:\\", true, DestinationCheck::FixedDriveRoot},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
        EXPECT_EQ(cases[i].check, CheckExportDestination(cases[i].destination, cases[i].bookSelected)) << "case " << i;
}

TEST_F(Transfer, OnlyTheDestinationsOwnFolderMayBeEmptied)
{
    CreateDirectoryA((dest + "\\own").c_str(), nullptr);
    CreateDirectoryA((dest + "\\own\\deeper").c_str(), nullptr);
    struct Case {
        std::string destination;
        std::string folder;
        bool own;
    };
    const Case cases[] = {
        /* 0 */ {dest, dest + "\\own", true},
        /* 1 */ {dest + "\\", dest + "\\own", true},
        /* 2 */ {dest, root + "\\DEST\\OWN", true},  // letter case does not count
        /* 3 */ {dest, dest + "\\.", false},
        /* 4 */ {dest, dest + "\\..", false},
        /* 5 */ {dest, dest + "\\own\\..\\..", false},
        /* 6 */ {dest, dest + "\\own\\deeper", false},
        /* 7 */ {dest, dest + "\\missing", false},
        /* 8 */ {dest, dest + "\\memo.txt", false},
        /* 9 */ {dest, root, false},
        /* 10 */ {linksDest, linksDest + "\\linked", false},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
        EXPECT_EQ(cases[i].own, IsOwnBookFolder(cases[i].destination, cases[i].folder)) << "case " << i << ": "
                                                                                          << cases[i].folder;
}

// Runs one export row from a fresh destination: the outcome, the question asked once
// where it must be, every string for the server freed, and nothing on disk changed but
// the BOOK's own folder (nor anything the export made and took back).
void Transfer::Export(const ExportCase& c)
{
    SetUp();
    const std::string under = c.under;
    const std::string destination = dest + under;
    if (c.underExists)
        CreateDirectoryA(destination.c_str(), nullptr);
    std::string bookFolder = destination + "\\" + Ansi(c.folder ? c.folder : c.site);
    const std::string backupFile = bookFolder + "\\" + (c.oldName ? c.oldName : c.bookName + std::string(".mdf"));
    if (c.oldBackup) {
        CreateDirectoryA(bookFolder.c_str(), nullptr);
        WriteFile(backupFile, "the old backup");
        WriteFile(bookFolder + "\\notes.txt", "left from before");
        CreateDirectoryA((bookFolder + "\\sub").c_str(), nullptr);
        WriteFile(bookFolder + "\\sub\\notes.txt", "left from before");
        if (c.readOnly)
            SetFileAttributesA((bookFolder + "\\" + c.readOnly).c_str(), FILE_ATTRIBUTE_READONLY);
    }
    if (c.kept) {
        CreateDirectoryTree((bookFolder + "\\old").c_str());
        WriteWide(Wide(bookFolder, c.kept), "another backup, kept");
    }
    if (c.placeholder)
        PretendFolder(bookFolder, FolderPretence::Placeholder);
    for (const char* name : kOddNames) {
        if (!c.oddNames)
            break;
        std::string text = name;
        bool folder = text.back() == '\\';
        std::wstring path = Wide(bookFolder, text.substr(0, text.size() - folder).c_str());
        if (folder && CreateDirectoryW(path.c_str(), nullptr))
            path += L"\\inside.txt";
        WriteWide(path, "the user's, to be overwritten");
    }
    for (int n = 1; n <= c.taken; ++n) {
        std::string name = bookFolder + "\\.n" + std::to_string(n);
        if (n == 1)
            WriteFile(name, "someone else's");
        else
            CreateDirectoryA(name.c_str(), nullptr);
        if (n == 2)
            WriteFile(name + "\\1.txt", "someone else's too");
        if (n > 3)  // .n3 is left empty
            WriteFile(name + "\\" + kOwnNames[n % 3], "a backup an ended export left");
        if (n == 3 && c.inLeftover) {  // with the export's own names, and someone's
            WriteFile(name + "\\1.mdf", "a backup an ended export left");
            CreateDirectoryA((name + "\\1").c_str(), nullptr);  // "1\\" is a folder
            WriteFile(name + "\\" + c.inLeftover + (c.inLeftover[1] == '\\' ? "x" : ""), "someone's");
        }
    }
    std::map<std::string, std::string> before = Files();
    fake.backupResult = c.server;
    fake.writeBackups = c.serverWrites;
    fake.emptyBackups = c.emptyWrite;
    fake.leavesFiles = c.leaves;
    HANDLE held = INVALID_HANDLE_VALUE;
    const DWORD sharing = c.old == Old::HeldForReading   ? FILE_SHARE_READ
                          : c.old == Old::HeldSharingAll ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE
                                                         : 0;
    if (c.old == Old::ReadOnly)
        SetFileAttributesA(backupFile.c_str(), FILE_ATTRIBUTE_READONLY);
    else if (c.old != Old::Free) {
        held = CreateFileA(backupFile.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, held);
    }
    int asked = 0;
    BstrSpy spy;
    long live = spy.Live();
    ExportOutcome outcome = ExportBook(Book(c.bookName, c.site), destination, [&](const std::string& folder) {
        ++asked;
        EXPECT_EQ(bookFolder, folder);
        return c.answer == IDYES;
    });
    if (held != INVALID_HANDLE_VALUE)
        CloseHandle(held);
    PretendFolder(bookFolder, FolderPretence::Placeholder, false);
    if (c.where) {
        EXPECT_EQ(bookFolder + c.where, outcome.where);
    }
    EXPECT_EQ(live, spy.Live()) << "strings made for the server were not freed";
    EXPECT_EQ(c.kind, outcome.kind);
    EXPECT_EQ(c.code, outcome.code);
    EXPECT_EQ(c.answer ? 1 : 0, asked);
    std::map<std::string, std::string> after = Files();
    if (c.folder) {
        std::string relative = "dest" + under + "\\" + Ansi(c.folder) + "\\";
        // The new backup takes the old one's name (its letters are the file system's).
        const std::string backup = c.oldName && after.count(relative + c.oldName) ? c.oldName : c.bookName + std::string(".mdf");
        // The folder holds the new backup alone: the old contents went with Yes, but for
        // the names beginning with a dot, which the emptying passes over (others' .n1 and
        // .n2 among them), and other backups; an entry that cannot go stays, and so may
        // what is listed after it. What ended exports left goes.
        auto goes = [&](const std::string& name) {
            if (name.compare(0, relative.size(), relative) != 0)
                return false;
            const std::string inside = name.substr(relative.size());
            if (inside[0] == '.')
                return inside.size() > 3 && inside.compare(0, 2, ".n") == 0 && inside[2] >= (c.inLeftover ? '4' : '3');
            if ((c.kept && inside == Ansi(c.kept)) || (c.readOnly && inside == c.readOnly))
                return false;
            if (c.kind == ExportOutcome::NotEmptied && inside != backup)
                after.erase(name);
            return true;
        };
        for (auto it = before.begin(); it != before.end();)
            it = goes(it->first) ? before.erase(it) : std::next(it);
        before[relative + backup] = std::string(c.bookName) + " backup #1";
    }
    EXPECT_EQ(before, after) << "only the BOOK's own folder may change";
    if (c.readOnly)
        SetFileAttributesA((bookFolder + "\\" + c.readOnly).c_str(), FILE_ATTRIBUTE_NORMAL);
    if (c.under[0] && !c.underExists && !c.folder) {
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((dest + "\\made").c_str())) << "what the export made stays";
    }
}

// The BOOK's folder is named from the site, or the database name where the site would
// name another folder; a database name Windows would not keep as a file name is refused.
TEST_F(Transfer, ExportIntoTheBooksOwnFolder)
{
    Export({
        ExportCase{.folder = kSite},
        ExportCase{.site = ".", .folder = "BOOK0101"},
        ExportCase{.site = ".", .oldBackup = true, .answer = IDYES, .folder = "BOOK0101"},
        ExportCase{.site = "..", .oldBackup = true, .answer = IDYES, .folder = "BOOK0101"},
        ExportCase{.site = u8"国道改良工事.", .folder = "BOOK0101"},
        ExportCase{.site = "NUL", .folder = "BOOK0101"},
        ExportCase{.site = ".", .bookName = "CON", .kind = kFailed, .code = ERROR_INVALID_NAME},
        ExportCase{.site = u8"工事A", .bookName = "", .kind = ExportOutcome::Skipped},
        ExportCase{.bookName = "..\\BOOK0999", .kind = kFailed, .code = ERROR_INVALID_NAME},
        ExportCase{.bookName = "BOOK:0101", .kind = kFailed, .code = ERROR_INVALID_NAME},
        ExportCase{.bookName = "con", .kind = kFailed, .code = ERROR_INVALID_NAME},
        // A database name the code page cannot spell is never handed back as another's.
        ExportCase{.bookName = u8"BOOKé", .kind = kFailed, .code = ERROR_NO_UNICODE_TRANSLATION},
    });
}

// The old backup goes only with Yes and only for a new one the server wrote whole; what
// a server leaves under names of its own goes, whatever the outcome.
TEST_F(Transfer, AnOldBackupIsReplacedOnlyByAWholeNewOne)
{
    Export({
        ExportCase{.oldBackup = true, .answer = IDNO, .kind = ExportOutcome::Declined},
        ExportCase{.oldBackup = true, .answer = IDYES, .server = 1010, .kind = kFailed, .code = 1010},
        ExportCase{.server = 1010, .kind = kFailed, .code = 1010},  // its new folder goes
        ExportCase{.oldBackup = true, .answer = IDYES, .kind = kFailed, .code = ERROR_FILE_INVALID,
                   .serverWrites = false},
        ExportCase{.oldBackup = true, .answer = IDYES, .kind = kFailed, .code = ERROR_FILE_INVALID, .emptyWrite = true},
        ExportCase{.oldBackup = true, .answer = IDYES, .server = 1010, .kind = kFailed, .code = 1010, .leaves = true},
        ExportCase{.oldBackup = true, .answer = IDYES, .folder = kSite, .leaves = true},
        // Every name goes, whatever the code page makes of it, and nothing outside.
        ExportCase{.oldBackup = true, .answer = IDYES, .folder = kSite, .oddNames = true},
        // What cannot go is told with the system's code, not as done; the new backup is
        // in place.
        ExportCase{.oldBackup = true, .answer = IDYES, .kind = ExportOutcome::NotEmptied, .code = ERROR_ACCESS_DENIED,
                   .folder = kSite, .readOnly = "notes.txt"},
        // ...also where it lies in a sub-folder: the file's reason, not the folder's.
        ExportCase{.oldBackup = true, .answer = IDYES, .kind = ExportOutcome::NotEmptied, .code = ERROR_ACCESS_DENIED,
                   .folder = kSite, .readOnly = "sub\\notes.txt"},
        // Other BOOKs' backups, and one put aside, stay: they may be someone's only copy.
        ExportCase{.oldBackup = true, .answer = IDYES, .folder = kSite, .kept = "BOOK0102.mdf"},
        ExportCase{.oldBackup = true, .answer = IDYES, .folder = kSite, .kept = "old\\BOOK0101.mdf"},
        // The old backup named in other letters is replaced, never the new one deleted.
        ExportCase{.oldBackup = true, .answer = IDYES, .folder = kSite, .oldName = "book0101.MDF"},
        // A cloud file's placeholder folder is the folder itself, no link.
        ExportCase{.oldBackup = true, .answer = IDYES, .folder = kSite, .placeholder = true},
    });
}

// Levels below the destination the export makes are taken back when it fails; a level
// the user already had is never.
TEST_F(Transfer, FoldersTheExportMadeAreTakenBackOnFailure)
{
    Export({
        ExportCase{.folder = kSite, .under = "\\made\\for it"},
        ExportCase{.server = 1010, .kind = kFailed, .code = 1010, .under = "\\made\\for it"},
        ExportCase{.server = 1010, .kind = kFailed, .code = 1010, .under = "\\empty", .underExists = true},
        ExportCase{.kind = kFailed, .code = ERROR_INVALID_NAME, .under = "\\made\\bad<name"},
        ExportCase{.server = 1010, .kind = kFailed, .code = 1010, .under = "\\made", .leaves = true},
    });
}

// Names the export's own folder cannot have: the next one, up to the last.
TEST_F(Transfer, TheExportsOwnFolderTakesAFreeName)
{
    Export({
        ExportCase{.oldBackup = true, .answer = IDYES, .folder = kSite, .taken = 1},
        ExportCase{.oldBackup = true, .answer = IDYES, .folder = kSite, .leaves = true, .taken = 8},
        ExportCase{.oldBackup = true, .answer = IDYES, .folder = kSite, .taken = 3},
        ExportCase{.oldBackup = true, .answer = IDYES, .kind = ExportOutcome::ExportFoldersTaken,
                   .code = ERROR_FILE_EXISTS, .taken = 9, .where = ""},
        // A leftover holding anything but the export's own names is someone's.
        ExportCase{.oldBackup = true, .answer = IDYES, .folder = kSite, .taken = 3, .inLeftover = "1\\"},
        ExportCase{.oldBackup = true, .answer = IDYES, .folder = kSite, .taken = 3, .inLeftover = "0.txt"},
    });
}

// Another program holds the old backup: it stays whole, nothing of the new one is left,
// and the user is told (with no holder it is replaced in one step, as above). Scanners
// and indexers open files with every sharing: Windows and Wine keep its name until it is
// let go, and refuse the replace. Windows replaces no read-only file (Wine would).
TEST_F(Transfer, AnOldBackupAnotherProgramHoldsStaysWhole)
{
    for (Old old : {Old::HeldSharingNothing, Old::HeldForReading, Old::HeldSharingAll, Old::ReadOnly})
        Export({.oldBackup = true, .answer = IDYES, .kind = kNotReplaced, .code = ERROR_ACCESS_DENIED,
                .leaves = old != Old::HeldForReading, .old = old});
}

// A BOOK folder that is a link: nothing is asked, nothing behind the link is touched.
TEST_F(Transfer, ABookFolderThatIsALinkIsNeverEmptied)
{
    if (InTestKit())
        GTEST_SKIP() << kLinksFromLinux;
    std::string precious = linksDest + "\\..\\elsewhere\\precious.mdf";
    ASSERT_EQ("precious", ReadFile(precious)) << "the link fixture is missing";
    ExportOutcome outcome = ExportBook(Book("BOOK0101", "linked"), linksDest, [](const std::string&) {
        ADD_FAILURE() << "asked to overwrite a link";
        return true;
    });
    EXPECT_EQ(ExportOutcome::Failed, outcome.kind);
    EXPECT_EQ(ERROR_BAD_PATHNAME, outcome.code);
    EXPECT_EQ("precious", ReadFile(precious));
    EXPECT_TRUE(fake.calls.empty());
    // Nor is an ended export's .n3 that is a link taken away, with what it leads to
    // (named as the export's own).
    WriteFile(linksDest + "\\site3\\BOOK0101.mdf", "old");
    outcome = ExportBook(Book("BOOK0101", "site3"), linksDest, [](const std::string&) { return true; });
    EXPECT_EQ(ExportOutcome::Exported, outcome.kind);
    EXPECT_EQ("theirs", ReadFile(linksDest + "\\..\\lefttarget\\BOOK0101.mdf"));
}

// A BOOK folder swapped for a link to another folder once the server has written (Wine
// makes no links, and moves a link's target when asked to move the link: the swap is
// made by a Unix shell, whose end Wine does not report, so it is waited for): the proof
// made right before the replace finds it, nothing behind the link is replaced or deleted,
// and the user learns where the new backup is. Where the new backup is then not seen
// (the link leads where it is not), the export fails and removes nothing through the link.
TEST_F(Transfer, ABookFolderSwappedForALinkMeanwhileIsNotTouched)
{
    if (InTestKit())
        GTEST_SKIP() << kLinksFromLinux;
    const std::string elsewhere = linksDest + "\\..\\elsewhere";
    std::string unixDest = FullPath(linksDest).substr(2);  // Z: is the Unix root
    for (char& ch : unixDest)
        ch = ch == '\\' ? '/' : ch;
    const std::string folder = linksDest + "\\real";
    for (bool decoy : {true, false}) {
        SCOPED_TRACE(decoy ? "a written backup behind the link" : "nothing of that name behind the link");
        RemoveTree(folder);
        CreateDirectoryA(folder.c_str(), nullptr);
        WriteFile(folder + "\\BOOK0101.mdf", "old");
        // What the link leads to looks like a written backup in the export's own folder,
        // or holds other files there.
        CreateDirectoryA((elsewhere + "\\.n1").c_str(), nullptr);
        WriteFile(elsewhere + "\\.n1\\" + (decoy ? "BOOK0101.mdf" : "other"), "stranger");
        const std::map<std::string, std::string> behind = FilesBelow(elsewhere);
        bool swapped = false;
        fake.afterBackup = [&] {
            RunProgram("/bin/sh -c \"rm -rf " + unixDest + "/real-moved && mv " + unixDest + "/real " + unixDest +
                       "/real-moved && ln -s ../elsewhere " + unixDest + "/real\"");
            for (int i = 0; i < 100 && !swapped; ++i, Sleep(50))
                swapped = GetFileAttributesA((folder + "-moved\\BOOK0101.mdf").c_str()) != INVALID_FILE_ATTRIBUTES &&
                          GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES &&
                          (GetFileAttributesA(folder.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
        };
        ExportOutcome outcome = ExportBook(Book("BOOK0101", "real"), linksDest, [](const std::string&) { return true; });
        RunProgram("/bin/sh -c \"rm -f " + unixDest + "/real\"");
        ASSERT_TRUE(swapped) << "the swap could not be made";
        EXPECT_EQ(decoy ? ExportOutcome::NewLeftInExportFolder : ExportOutcome::Failed, outcome.kind);
        EXPECT_EQ(decoy ? ERROR_BAD_PATHNAME : ERROR_FILE_INVALID, outcome.code);
        EXPECT_EQ(behind, FilesBelow(elsewhere)) << "a file behind the link was replaced or deleted";
        std::map<std::string, std::string> moved = {{"BOOK0101.mdf", "old"},
                                                    {".n1\\BOOK0101.mdf", "BOOK0101 backup #" + std::string(decoy ? "1" : "2")}};
        EXPECT_EQ(moved, FilesBelow(folder + "-moved"));
        RemoveTree(folder + "-moved");
        RemoveTree(elsewhere + "\\.n1");
    }
}

// A virus scanner or an indexer opens a file right after it is written, and lets it go
// a moment later: the new backup held so is still put in place, and a failed one's
// remains still go; held longer than the tool waits (2 s), the old backup stays, nothing
// of the new one is left, and the user is told.
TEST_F(Transfer, AFileHeldForAMomentAfterItIsWritten)
{
    // What is held: the new backup the server wrote (shared for reading), or the old one
    // (shared for everything, as a scanner holds it: the replace is then refused with
    // access denied), or the old one is read-only and made writable a moment later.
    enum Held { New, Old, OldReadOnly };
    const struct {
        bool oldBackup;
        long server;
        DWORD heldMs;
        ExportOutcome::Kind kind;
        long code;
        Held held = New;
    } cases[] = {
        /* 0 */ {true, 0, 500, ExportOutcome::Exported, 0},
        /* 1 */ {false, 0, 500, ExportOutcome::Exported, 0},
        /* 2 */ {true, 1010, 500, ExportOutcome::Failed, 1010},  // its partial file goes
        /* 3 */ {true, 0, 3000, ExportOutcome::NotReplaced, ERROR_SHARING_VIOLATION},
        /* 4 */ {true, 0, 500, ExportOutcome::Exported, 0, Old},  // access denied is waited on
        /* 5 */ {false, 0, 3000, ExportOutcome::Failed, ERROR_SHARING_VIOLATION},  // the move's error
        /* 6 */ {true, 0, 500, ExportOutcome::NotReplaced, ERROR_ACCESS_DENIED, OldReadOnly},  // not waited on
        /* 7 */ {true, 1010, 3000, ExportOutcome::FailedLeftover, 1010},  // told where, in a hidden folder
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        const auto& c = cases[i];
        SetUp();
        const std::string folder = dest + "\\" + Ansi(u8"県道工事");
        if (c.oldBackup) {
            CreateDirectoryA(folder.c_str(), nullptr);
            WriteFile(folder + "\\BOOK0101.mdf", "the old backup");
        }
        std::map<std::string, std::string> expected = Files();
        if (c.kind == ExportOutcome::Exported)
            expected["dest\\" + Ansi(u8"県道工事") + "\\BOOK0101.mdf"] = "BOOK0101 backup #1";
        if (c.kind == ExportOutcome::FailedLeftover)
            expected["dest\\" + Ansi(u8"県道工事") + "\\.n1\\BOOK0101.mdf"] = "partial";
        fake.backupResult = c.server;
        std::thread holder;
        fake.afterBackup = [&] {
            // The path the server was handed: "BackupRestoreDatabase(0,BOOK0101,<path>)".
            const std::string& call = fake.calls.back();
            const std::string handed = call.substr(call.find(',', call.find(',') + 1) + 1);
            const std::string path = c.held == New ? handed.substr(0, handed.size() - 1) : folder + "\\BOOK0101.mdf";
            if (c.held == OldReadOnly) {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
                holder = std::thread([path, &c] {
                    Sleep(c.heldMs);
                    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                });
                return;
            }
            HANDLE h = CreateFileA(path.c_str(), GENERIC_READ,
                                   c.held == New ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(INVALID_HANDLE_VALUE, h);
            holder = std::thread([h, &c] {
                Sleep(c.heldMs);
                CloseHandle(h);
            });
        };
        ExportOutcome outcome = ExportBook(Book("BOOK0101", u8"県道工事"), dest, [](const std::string&) { return true; });
        holder.join();
        EXPECT_EQ(c.kind, outcome.kind);
        EXPECT_EQ(c.code, outcome.code);
        EXPECT_EQ(expected, Files());
        if (c.kind == ExportOutcome::FailedLeftover) {
            EXPECT_EQ(folder + "\\.n1", outcome.where);
            EXPECT_TRUE(GetFileAttributesA(outcome.where.c_str()) & FILE_ATTRIBUTE_HIDDEN);
        }
    }
}

// The server's buffers hold 260 bytes: every backup path up to 259 bytes is written, the
// first time and again over itself (the new backup first lies in the export's own
// folder inside the BOOK folder); a 260-byte one is refused with the system's code for a
// name too long.
TEST_F(Transfer, TheBackupPathLimit)
{
    // The server is handed the backup's own name in the export's folder (".n1", four
    // bytes more) where that fits, else "1.mdf", else "1".
    const struct {
        size_t length;
        const char* database;
        const char* handed;
    } cases[] = {
        /* 0 */ {245, "BOOK0101", "BOOK0101.mdf"},
        /* 1 */ {248, "BOOK0101", "BOOK0101.mdf"},
        /* 2 */ {249, "BOOK0101", "BOOK0101.mdf"},
        /* 3 */ {255, "BOOK0101", "BOOK0101.mdf"},
        /* 4 */ {256, "BOOK0101", "1.mdf"},
        /* 5 */ {259, "BOOK0101", "1.mdf"},
        /* 6 */ {256, "B1", "1.mdf"},
        /* 7 */ {257, "B1", "1"},
        /* 8 */ {259, "B1", "1"},
        /* 9 */ {260, "BOOK0101", nullptr},
    };
    for (const auto& row : cases) {
        const size_t length = row.length;
        const std::string database = row.database;
        for (bool again : {false, true}) {
            SCOPED_TRACE(std::to_string(length) + " " + database + (again ? " again" : ""));
            SetUp();
            fake.calls.clear();
            // <destination>\ddd...\<99 s>\<database>.mdf, exactly length bytes.
            const std::string full = FullPath(dest), site(99, 's');
            const size_t pad = length - full.size() - 2 - site.size() - database.size() - 5;
            const std::string destination = full + "\\" + std::string(pad, 'd');
            CreateDirectoryA(destination.c_str(), nullptr);
            const std::string file = destination + "\\" + site + "\\" + database + ".mdf";
            ASSERT_EQ(length, file.size());
            if (again) {
                CreateDirectoryTree((destination + "\\" + site).c_str());
                WriteFile(file, "the old backup");
            }
            const bool fits = length < 260;
            ExportOutcome outcome = ExportBook(Book(database, site.c_str()), destination, [](const std::string&) { return true; });
            EXPECT_EQ(fits ? ExportOutcome::Exported : ExportOutcome::Failed, outcome.kind);
            EXPECT_EQ(fits ? 0 : ERROR_FILENAME_EXCED_RANGE, outcome.code);
            EXPECT_EQ(fits ? database + " backup #1" : again ? "the old backup" : "", ReadFile(file));
            ASSERT_EQ(fits ? 1u : 0u, fake.calls.size()) << "a 260-byte path never reaches the server";
            if (fits) {
                const std::string handed = "," + destination + "\\" + site + "\\.n1\\" + row.handed + ")";
                EXPECT_EQ(handed, fake.calls[0].substr(fake.calls[0].size() - std::min(handed.size(), fake.calls[0].size())));
            }
            EXPECT_EQ(fits || again ? 1u : 0u, FilesBelow(destination).size()) << "one complete backup, nothing beside it";
        }
    }
}

// A destination that the export makes, of 248 characters or more (Windows makes such a
// folder only through the \\?\ form of its full path), written as a full path or with
// "." and ".." in it: the export makes it and writes the backup.
TEST_F(Transfer, LongDestinationsAreMade)
{
    const std::string base = FullPath(dest);
    const struct {
        size_t folderLength;  // of the destination's full path
        const char* written;  // how the text reaches the level above the new folder
    } cases[] = {
        /* 0 */ {247, "\\"},
        /* 1 */ {248, "\\"},
        /* 2 */ {251, "\\"},
        /* 3 */ {248, "\\.\\"},
        /* 4 */ {244, "\\x\\..\\"},  // a text of 249 characters, resolved to 244
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        SetUp();
        CreateDirectoryA((base + "\\x").c_str(), nullptr);
        const std::string name(cases[i].folderLength - base.size() - 1, 'd');
        const std::string destination = base + cases[i].written + name;
        ExportOutcome outcome = ExportBook(Book("B", "s"), destination, [](const std::string&) { return true; });
        EXPECT_EQ(ExportOutcome::Exported, outcome.kind);
        EXPECT_EQ(0, outcome.code);
        EXPECT_EQ("B backup #1", ReadFile(base + "\\" + name + "\\s\\B.mdf"));
    }
}

TEST_F(Transfer, ImportOutcomes)
{
    std::string file = dest + "\\BOOK0101.mdf";
    WriteFile(file, "backup");
    // The profiles' public folder lies under the profile root, which the rules refuse
    // (and every user may write it, whatever the user's own name).
    const std::string unusable = ProfileRoot() + "\\Public\\BOOK0101.mdf";
    WriteFile(unusable, "backup");
    // The program placed inside a system folder (the Windows folder, here the folder that
    // holds the test program's): a backup in the program's own folder tree is accepted,
    // one beside it in the same system folder is not.
    const std::string own = ProgramFolder() + "kamiwork\\BOOK0101.mdf";
    const std::string windir = Expand("%windir%"), above = FullPath(ProgramFolder() + "..");
    const std::string beside = above + "\\BOOK0101.mdf";
    CreateDirectoryA((ProgramFolder() + "kamiwork").c_str(), nullptr);
    WriteFile(own, "backup");
    const std::string leftover = dest + "\\.N2\\BOOK0101.mdf";
    CreateDirectoryA((dest + "\\.N2").c_str(), nullptr);
    WriteFile(leftover, "partial");
    WriteFile(beside, "backup");
    const long kGone = static_cast<long>(0x800706BA);  // RPC_S_SERVER_UNAVAILABLE
    // Rows name what differs from a restore of a good backup with room on the server.
    struct Case {
        std::string file;
        ImportOutcome::Kind kind;
        long value = 0;
        bool restored = false;
        long freeSpace = 300;  // MB, as the server answers
        long freeResult = 0, openResult = 0, restoreResult = 0;
        bool programInSystemFolder = false;
    };
    const Case cases[] = {
        /* 0 */ {.file = "", .kind = ImportOutcome::BadSource},
        /* 1 */ {.file = dest + "\\gone.mdf", .kind = ImportOutcome::BadSource},
        /* 2 */ {.file = dest, .kind = ImportOutcome::BadSource},  // a folder
        /* 3 */ {.file = file, .kind = ImportOutcome::LowSpace, .value = 299, .freeSpace = 299},
        /* 4 */ {.file = file, .kind = ImportOutcome::NoFreeSpaceFigure, .value = 1018, .freeSpace = 0, .freeResult = 1018},
        /* 5 */ {.file = file, .kind = ImportOutcome::NoDatabase, .openResult = 1002},
        /* 6 */ {.file = file, .kind = ImportOutcome::Restored, .restored = true},
        /* 7 */ {.file = file, .kind = ImportOutcome::InUse, .value = 146, .restored = true, .restoreResult = 146},
        /* 8 */ {.file = file, .kind = ImportOutcome::Failed, .value = 1013, .restored = true, .restoreResult = 1013},
        /* 9 */ {.file = unusable, .kind = ImportOutcome::Unusable},
        /* 10 */ {.file = own, .kind = ImportOutcome::Restored, .restored = true, .programInSystemFolder = true},
        /* 11 */ {.file = beside, .kind = ImportOutcome::Unusable, .programInSystemFolder = true},
        // The server gone when the BOOK is looked for: a failure with its code, not "no
        // such BOOK" (last: the next call would connect afresh).
        /* 12 */ {.file = file, .kind = ImportOutcome::Failed, .value = kGone, .openResult = kGone},
        /* 13 */ {.file = leftover, .kind = ImportOutcome::BadSource},  // what a failed export left
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        const Case& c = cases[i];
        fake.calls.clear();
        fake.freeSpace = c.freeSpace;
        fake.freeSpaceResult = c.freeResult;
        fake.openDatabaseResult = c.openResult;
        fake.backupResult = c.restoreResult;
        std::map<std::string, std::string> before = Files();
        SetEnvironmentVariableA("windir", (c.programInSystemFolder ? above : windir).c_str());
        BstrSpy spy;
        long live = spy.Live();
        ImportOutcome outcome = ImportBookFile(c.file);
        SetEnvironmentVariableA("windir", windir.c_str());
        EXPECT_EQ(live, spy.Live()) << "strings made for the server were not freed";
        EXPECT_EQ(c.kind, outcome.kind);
        EXPECT_EQ(c.value, outcome.value);
        bool restored = false, opened = false, closed = false;
        for (const std::string& call : fake.calls) {
            restored |= call == "BackupRestoreDatabase(1,BOOK0101," + c.file + ")";
            opened |= call == "OpenDatabase(BOOK0101)";
            closed |= call == "CloseDatabase(BOOK0101)";
        }
        EXPECT_EQ(c.restored, restored);
        EXPECT_EQ(opened && c.openResult == 0, closed) << "a database opened for the check is closed again";
        // An import reads the backup; only the server writes, and not here.
        EXPECT_EQ(before, Files());
    }
    RemoveFile(unusable);
    RemoveFile(own);
    RemoveFile(beside);
}
