// Import: a BOOK is restored by the server from a backup file the export wrote; the
// file's base name is the BOOK's database name.
#include "BookBackupDialog.h"
#include "DatabaseAccess.h"
#include "FolderRules.h"
#include "MessageBox.h"
#include "ProgramPath.h"
#include "TextConversion.h"

#include <cstdio>
#include <string>

namespace {
const long kMinimumFreeMegabytes = 300;
const long kBookInUse = 146;

void SayImportFailed(const char* file, long code)
{
    char message[1024];
    std::snprintf(message, sizeof message, "「%s」のインポートに失敗しました。%ld", file, code);
    winui::AppMessageBox(message, MB_OK | MB_ICONSTOP);
}
}  // namespace

void BookBackupDialog::ImportBook()
{
    if (GetFileAttributesA(m_importFile) == INVALID_FILE_ATTRIBUTES) {
        winui::AppMessageBox("インポート元の指定が正しくありません。\n指定し直してください。", MB_OK);
        return;
    }
    DatabaseAccess access;
    long freeMegabytes = 0;
    long query = access.GetDatabaseDriveFreeSpace(&freeMegabytes);
    if (query != 0) {
        // Without a figure there is nothing to compare: the import is refused.
        SayImportFailed(m_importFile, query);
        return;
    }
    if (freeMegabytes < kMinimumFreeMegabytes) {
        char message[512];
        std::snprintf(message, sizeof message,
                      "データベースドライブの空き容量が%ldMBです。\n300MB以上の空き容量を確保して、再度、インポートを行ってください。",
                      freeMegabytes);
        winui::AppMessageBox(message, MB_OK);
        return;
    }
    PathParts parts;
    SplitPath(m_importFile, &parts);
    const char* database = parts.name;
    if (access.OpenDatabase(database) != 0) {
        winui::AppMessageBox("指定したファイルのバックアップ元データベースが存在しません。\n指定し直してください。", MB_OK);
        return;
    }
    // Backups at a drive root (a USB stick) are accepted: no drive rule here.
    std::string sourceFolder = std::string(parts.drive) + parts.dir;
    if (!IsInsideProgramFolder(sourceFolder.c_str()) && IsUnusableFolder(sourceFolder.c_str())) {
        access.CloseDatabase(database);
        winui::AppMessageBox("指定されたフォルダは適切ではありません。（使用できないフォルダです。）\n再度設定してください。", MB_OK);
        return;
    }
    access.CloseDatabase(database);
    BSTR name = AnsiToBstr(database);
    BSTR path = AnsiToBstr(m_importFile);
    long code = access.BackupRestoreDatabase(1, name, path);
    SysFreeString(name);
    SysFreeString(path);
    if (code == 0) {
        winui::AppMessageBox("BOOKのインポートが終了しました。", MB_OK | MB_ICONINFORMATION);
    } else if (code == kBookInUse) {
        char message[256];
        std::snprintf(message, sizeof message, "対象のBOOKはアプリケーションで使用中のため、インポートに失敗しました。%ld", code);
        winui::AppMessageBox(message, MB_OK | MB_ICONSTOP);
    } else {
        SayImportFailed(m_importFile, code);
    }
}
