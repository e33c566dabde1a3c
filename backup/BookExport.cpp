// Export: each selected carried-out BOOK is backed up by the server into
// <destination>\<display name cut>\<BookName>.mdf.
#include "BookBackupDialog.h"
#include "DatabaseAccess.h"
#include "FolderRules.h"
#include "FolderTools.h"
#include "MbText.h"
#include "MessageBox.h"
#include "TextConversion.h"
#include "resource.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char kUnusableFolder[] = "指定されたフォルダは適切ではありません。（使用できないフォルダです。）\n再度設定してください。";

// Paths the tool passes on must fit the system's 260-byte buffers; a BOOK whose folder
// or file would not fit is not attempted, with the system's code for a name too long.
const long kNameTooLong = ERROR_FILENAME_EXCED_RANGE;  // 206
// A BOOK whose names hold no character a folder name may have.
const long kNoFolderName = ERROR_INVALID_NAME;          // 123

bool IsFolder(const std::string& path)
{
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void Say(const char* format, const char* text, UINT flags)
{
    char message[1024];
    std::snprintf(message, sizeof message, format, text);
    winui::AppMessageBox(message, flags);
}

void SayFailed(const char* displayName, long code)
{
    char message[1024];
    std::snprintf(message, sizeof message, "「%s」のエクスポートに失敗しました。%ld", displayName, code);
    winui::AppMessageBox(message, MB_OK | MB_ICONSTOP);
}

long Backup(const std::string& database, const std::string& file)
{
    BSTR name = AnsiToBstr(database.c_str());
    BSTR path = AnsiToBstr(file.c_str());
    long code = DatabaseAccess().BackupRestoreDatabase(0, name, path);
    SysFreeString(name);
    SysFreeString(path);
    return code;
}

void RemoveFolder(const std::string& folder)
{
    DeleteFolderContents(folder.c_str());
    RemoveDirectoryA(folder.c_str());
}

// A new, empty folder beside bookFolder; empty text when none could be made.
std::string MakeSiblingFolder(const std::string& bookFolder)
{
    for (int n = 1; n < 100; ++n) {
        std::string candidate = bookFolder + ".new" + std::to_string(n);
        if (candidate.size() >= 260)
            return std::string();
        if (CreateDirectoryA(candidate.c_str(), nullptr))
            return candidate;
    }
    return std::string();
}

// Overwrites an existing BOOK folder without ever losing the backup it holds: the new
// backup is written into a fresh sibling folder first and moved in only when it exists.
// Returns the server's code (0 = done), or reports a later failure itself (returns -1).
long ReplaceBackup(const BookRecord& book, const std::string& bookFolder, const std::string& backupFile)
{
    std::string sibling = MakeSiblingFolder(bookFolder);
    if (sibling.empty())
        return static_cast<long>(GetLastError() ? GetLastError() : ERROR_CANNOT_MAKE);
    std::string newFile = sibling + "\\" + book.BookName + ".mdf";
    if (newFile.size() >= 260) {
        RemoveFolder(sibling);
        return kNameTooLong;
    }
    long code = Backup(book.BookName, newFile);
    if (code != 0) {
        RemoveFolder(sibling);  // the old backup stays as it was
        return code;
    }
    bool emptied = DeleteFolderContents(bookFolder.c_str());
    bool moved = emptied && MoveFileA(newFile.c_str(), backupFile.c_str());
    if (!moved) {
        long error = static_cast<long>(GetLastError());
        char message[1400];
        std::snprintf(message, sizeof message,
                      "「%s」のエクスポートに失敗しました。%ld\n新しいバックアップは「%s」にあります。",
                      book.SiteName, error, newFile.c_str());
        winui::AppMessageBox(message, MB_OK | MB_ICONSTOP);
        return -1;
    }
    RemoveDirectoryA(sibling.c_str());
    return 0;
}

}  // namespace

void BookBackupDialog::ExportBooks()
{
    const std::string destination = m_exportFolder;
    DWORD attributes = GetFileAttributesA(destination.c_str());
    if (destination.empty()) {
        winui::AppMessageBox("エクスポート先のフォルダが指定されていません。\nフォルダを指定してください。", MB_OK);
        return;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        winui::AppMessageBox("エクスポート先の指定が正しくありません。\n指定し直してください。", MB_OK);
        return;
    }
    if (std::strstr(destination.c_str(), "NetHood")) {
        Say("「%s」フォルダにはエクスポートできません。\n指定し直してください。", destination.c_str(), MB_OK);
        return;
    }
    HWND list = Item(IDC_BOOK_LIST);
    int row = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (row == -1) {
        winui::AppMessageBox("エクスポートするBOOKが選択されていません。\nBOOKを選択してください。", MB_OK);
        return;
    }
    if (!IsInsideProgramFolder(destination.c_str()) && IsUnusableFolder(destination.c_str())) {
        winui::AppMessageBox(kUnusableFolder, MB_OK);
        return;
    }
    if (IsFixedDriveRoot(destination.c_str())) {
        winui::AppMessageBox("ドライブを指定することはできません。\n再度設定してください。", MB_OK);
        return;
    }

    bool exported = false;
    for (; row != -1;) {
        int next = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, row, LVNI_SELECTED));
        LVITEMA item = {};
        item.mask = LVIF_PARAM;
        item.iItem = row;
        SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        row = next;
        const BookRecord* book = FindBookRecord(static_cast<int32_t>(item.lParam));
        if (!book || book->BookName[0] == '\0')
            continue;

        // The BOOK's folder is named after its display name; a name with nothing left
        // after the cut takes the database name, so the destination itself is never the
        // folder that gets emptied.
        char folderName[128];
        TruncateAtInvalidNameChar(book->SiteName, folderName, sizeof folderName);
        if (folderName[0] == '\0')
            TruncateAtInvalidNameChar(book->BookName, folderName, sizeof folderName);
        if (folderName[0] == '\0') {
            SayFailed(book->SiteName, kNoFolderName);
            continue;
        }
        const std::string bookFolder = destination + "\\" + folderName;
        const std::string backupFile = bookFolder + "\\" + book->BookName + ".mdf";
        if (backupFile.size() >= 260) {
            SayFailed(book->SiteName, kNameTooLong);
            continue;
        }

        long code;
        if (IsFolder(bookFolder)) {
            char question[1024];
            std::snprintf(question, sizeof question, "「%s」フォルダが既に存在します。\n上書きしますか？", bookFolder.c_str());
            if (winui::AppMessageBox(question, MB_YESNO | MB_ICONQUESTION) != IDYES) {
                Say("「%s」のエクスポートを中止します。", book->SiteName, MB_OK);
                continue;
            }
            code = ReplaceBackup(*book, bookFolder, backupFile);
            if (code == -1)
                continue;  // reported, with where the new backup lies
        } else {
            CreateFolderPath(bookFolder.c_str());
            code = Backup(book->BookName, backupFile);
        }
        if (code != 0) {
            SayFailed(book->SiteName, code);
            continue;
        }
        exported = true;
    }
    if (exported)
        winui::AppMessageBox("BOOKのエクスポートが終了しました。", MB_OK | MB_ICONINFORMATION);
}
