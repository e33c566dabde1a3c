#include "BookTransfer.h"

#include "DatabaseAccess.h"
#include "FileSystem.h"
#include "FolderRules.h"
#include "FolderTools.h"
#include "MbText.h"
#include "Messages.h"
#include "ProgramPath.h"
#include "ServerConnection.h"
#include "ServerNumbers.h"
#include "TextConversion.h"
#include "WideText.h"

#include <windows.h>
#include <mbstring.h>

#include <cstring>

namespace {

// The server's import needs this much room on its database drive.
const long kMinimumFreeMegabytes = 300;

// The tool's own numbers are the system's errors of the same meaning.
static_assert(code::kExportFoldersTaken == ERROR_FILE_EXISTS, "80");
static_assert(code::kNoFolderName == ERROR_INVALID_NAME, "123");
static_assert(code::kNotOwnFolder == ERROR_BAD_PATHNAME, "161");
static_assert(code::kNameTooLong == ERROR_FILENAME_EXCED_RANGE, "206");
static_assert(code::kBackupNotWritten == ERROR_FILE_INVALID, "1006");
static_assert(code::kUnspellableName == ERROR_NO_UNICODE_TRANSLATION, "1113");

ExportOutcome Outcome(ExportOutcome::Kind kind, long code = 0, const std::string& where = std::string())
{
    return {kind, code, where};
}
ExportOutcome Failed(long code) { return Outcome(ExportOutcome::Failed, code); }

// A record field: at most its size, whether or not the reader left a terminator.
std::string Field(const char (&field)[128]) { return std::string(field, strnlen(field, sizeof field)); }

long Backup(const std::string& database, const std::string& file)
{
    BSTR name = AnsiToBstr(database.c_str());
    BSTR path = AnsiToBstr(file.c_str());
    long code = DatabaseAccess().BackupRestoreDatabase(kBackupMode, name, path);
    SysFreeString(name);
    SysFreeString(path);
    return code;
}

// A server that fails or ends may leave files of its own naming, and one that is ending
// may hold them for a moment yet: a folder of the export's own is tried again for a
// while before it is given up.
bool RemoveOwnFolder(const std::string& folder)
{
    for (int tries = 0; tries < 20; ++tries, Sleep(100))
        if (RemoveFolderTree(folder.c_str()))
            return true;
    return false;
}

// Takes back the folders this export made, newest first: the BOOK folder whole, with
// whatever a failing server left in it (a partial file must not look like a backup), the
// levels above it only while they are empty. Nothing that was there before is touched.
void RemoveMadeFolders(const std::vector<std::string>& made, const std::string& destination,
                       const std::string& bookFolder)
{
    for (auto it = made.rbegin(); it != made.rend(); ++it) {
        if (*it == bookFolder && IsOwnBookFolder(destination, bookFolder))
            RemoveOwnFolder(bookFolder);
        else
            RemoveDirectoryA(it->c_str());
    }
}

// The export's own folder, which the server writes the new backup into, is made inside
// the BOOK folder: ".n1" to ".n9", the first that nobody has. A dot name, so that
// emptying the BOOK folder passes over it, and hidden, so that a partial file the
// removal could not take is not picked for an import. Whatever the server leaves there,
// under any name, goes with the folder.
std::string ExportFolderName(const std::string& bookFolder, int n) { return bookFolder + "\\.n" + char('0' + n); }
const int kExportFolders = 9;

// Whether a folder name is one of the export's own: ".n1" to ".n9" (any letter case).
bool IsExportFolderName(const std::string& name)
{
    return name.size() == 3 && name[0] == '.' && (name[1] == 'n' || name[1] == 'N') && name[2] >= '1' && name[2] <= '9';
}

// 0, or the system's code (code::kExportFoldersTaken when all nine names are had).
long MakeExportFolder(const std::string& bookFolder, std::string* folder)
{
    for (int n = 1; n <= kExportFolders; ++n) {
        *folder = ExportFolderName(bookFolder, n);
        if (CreateNewFolder(folder->c_str())) {
            SetFileAttributesW(ExtendedPath(folder->c_str()).c_str(), FILE_ATTRIBUTE_HIDDEN);
            return 0;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return LastErrorOr(ERROR_CANNOT_MAKE);
    }
    folder->clear();
    return code::kExportFoldersTaken;
}

// The name the server is handed for the new backup in the export's own folder: the
// backup's own name, "<BookName>.mdf", as the system's server may insist on; where that
// path would not fit the system's buffers (a backup path within four bytes of the
// limit), "1.mdf", and where not even that fits, "1", which "\<BookName>.mdf" (at least
// "\X.mdf") always leaves room for.
const char* const kShortNewNames[] = {"1.mdf", "1"};
std::string NewBackupName(const std::string& exportFolder, const std::string& database)
{
    for (const std::string& name : {database + ".mdf", std::string(kShortNewNames[0])})
        if (exportFolder.size() + 1 + name.size() < kPathBufferSize)
            return exportFolder + "\\" + name;
    return exportFolder + "\\" + kShortNewNames[1];
}

// A backup the server says it wrote, proven before it takes the backup's name: there, a
// file, and not empty.
bool IsWrittenBackup(const std::string& file)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data) &&
           !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && (data.nFileSizeHigh != 0 || data.nFileSizeLow != 0);
}

// Step 1: the server writes the new backup into a folder of the export's own in the BOOK
// folder (*exportFolder, *newFile); 0, or the server's or the system's code, with
// nothing the failed backup wrote left behind (and nothing removed through a BOOK folder
// that is no longer the destination's own: one swapped for a link meanwhile would have
// the removal act behind it). *notTakenBack: the removal was tried and gave up.
long WriteNewBackup(const std::string& database, const std::string& destination, const std::string& bookFolder,
                    std::string* exportFolder, std::string* newFile, bool* notTakenBack)
{
    long code = MakeExportFolder(bookFolder, exportFolder);
    if (code != 0)
        return code;
    *newFile = NewBackupName(*exportFolder, database);
    code = Backup(database, *newFile);
    if (code == 0 && !IsWrittenBackup(*newFile))
        code = code::kBackupNotWritten;
    if (code != 0 && IsOwnBookFolder(destination, bookFolder))
        *notTakenBack = !RemoveOwnFolder(*exportFolder);
    return code;
}

// Another program (a virus scanner, an indexer) may hold the new backup, or the old one,
// for a moment after it is written: the replace is tried again for a short while when
// the system answers so. A read-only old backup, which no wait changes, is not waited on.
const DWORD kReplaceWaitMs = 2000;

bool MoveOverOldBackup(const std::string& newFile, const std::string& backupFile)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (MovePath(newFile.c_str(), backupFile.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        const DWORD error = GetLastError();
        const DWORD old = GetFileAttributesW(ExtendedPath(backupFile.c_str()).c_str());
        const bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
                          (error == ERROR_ACCESS_DENIED && (old == INVALID_FILE_ATTRIBUTES || !(old & FILE_ATTRIBUTE_READONLY)));
        if (!held || GetTickCount() - start >= kReplaceWaitMs) {
            SetLastError(error);  // the move's error, not the attribute query's
            return false;
        }
        Sleep(100);
    }
}

// Step 2: the new backup takes the backup's name in one step, over the old backup where
// there is one: at every moment the name holds the old backup or the complete new one,
// also where another program holds the old one open (it is then not replaced, and
// stays). The export's own folder goes either way.
ExportOutcome PutNewBackupInPlace(const std::string& newFile, const std::string& backupFile,
                                  const std::string& exportFolder)
{
    bool moved = MoveOverOldBackup(newFile, backupFile);
    long error = moved ? 0 : LastErrorOr(ERROR_CANNOT_MAKE);
    RemoveOwnFolder(exportFolder);
    if (moved)
        return Outcome(ExportOutcome::Exported);
    bool oldStays = KindOf(backupFile.c_str()) != PathKind::Missing;
    return Outcome(oldStays ? ExportOutcome::NotReplaced : ExportOutcome::Failed, error);
}

// Step 3, once the new backup is in place: the rest of the BOOK folder the user agreed to
// overwrite goes, every name whatever the code page can spell, nothing outside it. 0, or
// the system's code for the first entry that could not go.
long EmptyRestOfBookFolder(const std::string& bookFolder, const std::string& database)
{
    return DeleteFolderContents(bookFolder.c_str(), (database + ".mdf").c_str()) ? 0 : LastErrorOr(ERROR_ACCESS_DENIED);
}

// Step 4: export folders that earlier exports, ended midway, left in the BOOK folder go
// where they hold nothing but the export's own names; one holding anything else is
// someone's, and stays.
void RemoveLeftExportFolders(const std::string& bookFolder, const std::string& database)
{
    const std::vector<std::string> own = {database + ".mdf", kShortNewNames[0], kShortNewNames[1]};
    for (int n = 1; n <= kExportFolders; ++n) {
        const std::string folder = ExportFolderName(bookFolder, n);
        if (KindOf(folder.c_str()) == PathKind::Folder && HoldsOnlyFilesNamed(folder.c_str(), own))
            RemoveFolderTree(folder.c_str());
    }
}

}  // namespace

DestinationCheck CheckExportDestination(const std::string& destination, bool bookSelected)
{
    if (destination.empty())
        return DestinationCheck::Missing;
    // A destination that is not there at all passes: the export makes it.
    DWORD attributes = GetFileAttributesA(destination.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return DestinationCheck::NotAFolder;
    if (FindSubstring(destination.c_str(), "NetHood"))
        return DestinationCheck::NetHood;
    if (!bookSelected)
        return DestinationCheck::NoBookSelected;
    if (!IsInsideProgramFolder(destination.c_str()) && IsUnusableFolder(destination.c_str()))
        return DestinationCheck::Unusable;
    if (IsFixedDriveRoot(destination.c_str()))
        return DestinationCheck::FixedDriveRoot;
    return DestinationCheck::Ok;
}

std::string BookFolderName(const BookRecord& book)
{
    for (const std::string& text : {Field(book.SiteName), Field(book.BookName)}) {
        // A name the code page could not spell whole is no folder name, even where the
        // cut would drop what it lacks: it could be another site's.
        if (text.find(kNoFormMark) != std::string::npos)
            continue;
        char name[sizeof book.SiteName];
        TruncateAtInvalidNameChar(text.c_str(), name, sizeof name);
        if (IsPlainFolderName(name))
            return name;
    }
    return std::string();
}

bool IsOwnBookFolder(const std::string& destination, const std::string& bookFolder)
{
    char parent[kPathBufferSize], child[kPathBufferSize];
    DWORD n = GetFullPathNameA(destination.c_str(), sizeof parent, parent, nullptr);
    DWORD m = GetFullPathNameA(bookFolder.c_str(), sizeof child, child, nullptr);
    if (n == 0 || n >= sizeof parent || m == 0 || m >= sizeof child)
        return false;
    // The destination without a closing backslash (a drive root ends in one).
    size_t length = std::strlen(parent);
    if (FindLastChar(parent, '\\') == parent + length - 1)
        parent[--length] = '\0';
    if (std::strlen(child) <= length + 1 || child[length] != '\\')
        return false;
    child[length] = '\0';
    bool sameParent = _mbsicmp(reinterpret_cast<unsigned char*>(child), reinterpret_cast<unsigned char*>(parent)) == 0;
    child[length] = '\\';
    if (!sameParent || FindChar(child + length + 1, '\\'))
        return false;
    // A link inside the destination would lead the emptying somewhere else.
    return KindOf(child) == PathKind::Folder;
}

ExportOutcome ExportBook(const BookRecord& book, const std::string& destination, const OverwriteQuestion& mayOverwrite)
{
    const std::string database = Field(book.BookName);
    if (database.empty())
        return Outcome(ExportOutcome::Skipped);
    // A database name the code page cannot spell would be handed back to the server as
    // another database's name (and name the backup so).
    if (database.find(kNoFormMark) != std::string::npos)
        return Failed(code::kUnspellableName);
    // The database name comes from the server and becomes the backup's file name: one
    // that Windows would not keep as written ("..\x", "a:b", "CON") would put the backup
    // elsewhere or into a stream, and the replace would overwrite whatever is there.
    if (!IsPlainFolderName((database + ".mdf").c_str()))
        return Failed(code::kNoFolderName);
    const std::string folderName = BookFolderName(book);
    if (folderName.empty())
        return Failed(code::kNoFolderName);
    const std::string bookFolder = destination + "\\" + folderName;
    const std::string backupFile = bookFolder + "\\" + database + ".mdf";
    if (backupFile.size() >= kPathBufferSize)
        return Failed(code::kNameTooLong);

    const PathKind kind = KindOf(bookFolder.c_str());
    const bool existed = kind == PathKind::Folder || kind == PathKind::Link;
    // The BOOK folder, and the destination's own levels where they are missing.
    std::vector<std::string> made;
    if (existed) {
        if (!IsOwnBookFolder(destination, bookFolder))
            return Failed(code::kNotOwnFolder);
        if (!mayOverwrite(bookFolder))
            return Outcome(ExportOutcome::Declined);
    } else if (!CreateDirectoryTree(bookFolder.c_str(), &made)) {
        long error = LastErrorOr(ERROR_PATH_NOT_FOUND);
        RemoveMadeFolders(made, destination, bookFolder);
        return Failed(error);
    }

    std::string exportFolder, newFile;
    bool notTakenBack = false;
    long code = WriteNewBackup(database, destination, bookFolder, &exportFolder, &newFile, &notTakenBack);
    if (code == code::kExportFoldersTaken)
        return Outcome(ExportOutcome::ExportFoldersTaken, code, bookFolder);
    if (code != 0) {
        RemoveMadeFolders(made, destination, bookFolder);
        // What the removal could not take (a partial file another program still holds)
        // is told with where it is: it is no backup.
        const bool left = notTakenBack && KindOf(exportFolder.c_str()) != PathKind::Missing;
        return Outcome(left ? ExportOutcome::FailedLeftover : ExportOutcome::Failed, code, left ? exportFolder : "");
    }
    // Proven again right before the old backup is replaced: a folder that has become a
    // link since would have the replace and the emptying act somewhere else. Nothing is
    // touched then; the user learns where the new backup is.
    if (!IsOwnBookFolder(destination, bookFolder))
        return Outcome(ExportOutcome::NewLeftInExportFolder, code::kNotOwnFolder, newFile);
    ExportOutcome placed = PutNewBackupInPlace(newFile, backupFile, exportFolder);
    if (placed.kind == ExportOutcome::Failed)
        RemoveMadeFolders(made, destination, bookFolder);
    if (placed.kind != ExportOutcome::Exported)
        return placed;
    // The new backup is whole and in place; what of the old folder could not go is told,
    // never "done" over a folder that is not what the user agreed to.
    code = existed ? EmptyRestOfBookFolder(bookFolder, database) : 0;
    RemoveLeftExportFolders(bookFolder, database);
    return code ? Outcome(ExportOutcome::NotEmptied, code) : placed;
}

ImportOutcome ImportBookFile(const std::string& file)
{
    DWORD attributes = GetFileAttributesA(file.c_str());
    if (file.empty() || attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return {ImportOutcome::BadSource, 0};
    PathParts parts;
    SplitPath(file.c_str(), &parts);
    // A file in an export's own folder is what an export that failed left: no backup.
    std::string dir = parts.dir;
    if (!dir.empty() && FindLastChar(dir.c_str(), '\\') == dir.c_str() + dir.size() - 1)
        dir.pop_back();
    const char* last = FindLastChar(dir.c_str(), '\\');
    if (IsExportFolderName(last ? last + 1 : dir.c_str()))
        return {ImportOutcome::BadSource, 0};
    DatabaseAccess access;
    long freeMegabytes = 0;
    long query = access.GetDatabaseDriveFreeSpace(&freeMegabytes);
    if (query != 0)
        return {ImportOutcome::NoFreeSpaceFigure, query};  // nothing to compare: refused
    if (freeMegabytes < kMinimumFreeMegabytes)
        return {ImportOutcome::LowSpace, freeMegabytes};
    const char* database = parts.name;
    long open = access.OpenDatabase(database);
    if (IsConnectionLost(open))
        return {ImportOutcome::Failed, open};  // not a missing BOOK: the server is gone
    if (open != 0)
        return {ImportOutcome::NoDatabase, 0};
    // Backups at a drive root (a USB stick) are accepted: no drive rule here.
    std::string sourceFolder = std::string(parts.drive) + parts.dir;
    bool unusable = !IsInsideProgramFolder(sourceFolder.c_str()) && IsUnusableFolder(sourceFolder.c_str());
    access.CloseDatabase(database);
    if (unusable)
        return {ImportOutcome::Unusable, 0};
    BSTR name = AnsiToBstr(database);
    BSTR path = AnsiToBstr(file.c_str());
    long code = access.BackupRestoreDatabase(kRestoreMode, name, path);
    SysFreeString(name);
    SysFreeString(path);
    if (code == 0)
        return {ImportOutcome::Restored, 0};
    return {code == kBookInUseCode ? ImportOutcome::InUse : ImportOutcome::Failed, code};
}
