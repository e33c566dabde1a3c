// Every text the tool shows, each written once (the dialog templates and the string
// table are in the resource script; the dialog framework keeps its own two). They are
// the system's own words, byte for byte (Shift-JIS in the program); "%s" and "%ld" are
// filled in with FormatText. Every message (namespace msg) stands in the user's guide
// too, docs/guide/guide-ja.html, and a test holds the two together.
#pragma once
#include <string>

namespace msg {

// Start-up.
// The process's ANSI code page is not Japanese (a Windows 10 whose language for
// non-Unicode programs is another, or with the UTF-8 option on): every text of the tool
// would be garbled. Shown read as Shift-JIS whatever the process's code page.
inline const char kNotJapaneseCodePage[] =
    "このツールは、日本語の文字コード（シフトJIS）で動作するWindowsでのみ使用できます。\n"
    "コントロールパネルの「地域」→「管理」→「システム ロケールの変更」で、"
    "「現在のシステム ロケール」を「日本語（日本）」にし、"
    "「ベータ: ワールドワイド言語サポートで Unicode UTF-8 を使用」をオフにしてから、"
    "Windowsを再起動してください。\n"
    "Windows 11では、これらの設定を変えなくても動作します。\n"
    "ツールを終了します。";
inline const char kNotClientOnly[] =
    "このツールは、施工管理システムのクライアントのみがインストールされている環境で動作します。\n"
    "ツールを終了します。";

// Maintenance menu.
inline const char kNothingCarried[] = "持ち出しているBOOKはありません";
inline const char kRestartServer[] =
    "サーバーシステムを再起動します。\n"
    "サーバーに接続しているアプリケーションを終了させてください。\n"
    "その後に「ＯＫ」ボタンを押してください。";

// The carried-BOOK catalogue of the backup dialog.
inline const char kCannotOpenDatabase[] = "データベースを開くことができませんでした。　-%s -%ld";  // database, code
inline const char kNoShelves[] = "本棚情報を取得することができませんでした。　-%s";          // table
inline const char kNoBooks[] = "本情報を取得することができませんでした。　-%s";              // table
inline const char kNoShelfBooks[] = "本棚・本情報を取得することができませんでした。　-%s";   // table

// Export destination.
inline const char kNoExportFolder[] = "エクスポート先のフォルダが指定されていません。\nフォルダを指定してください。";
inline const char kBadExportFolder[] = "エクスポート先の指定が正しくありません。\n指定し直してください。";
inline const char kNetHoodFolder[] = "「%s」フォルダにはエクスポートできません。\n指定し直してください。";  // destination
inline const char kNoBookSelected[] = "エクスポートするBOOKが選択されていません。\nBOOKを選択してください。";
// Any folder the user names (export destination, import source, work folder).
inline const char kUnusableFolder[] =
    "指定されたフォルダは適切ではありません。（使用できないフォルダです。）\n再度設定してください。";
inline const char kDriveRoot[] = "ドライブを指定することはできません。\n再度設定してください。";
inline const char kTechnicalFolderError[] = "テクニカルエラー\n\nフォルダパスを正しく認識できませんでした。";

// Export, per BOOK.
inline const char kOverwriteFolder[] = "「%s」フォルダが既に存在します。\n上書きしますか？";  // BOOK folder
inline const char kExportCancelled[] = "「%s」のエクスポートを中止します。";                // display name
inline const char kExportFailed[] = "「%s」のエクスポートに失敗しました。%ld";            // display name, code
// The backup failed, and what the server wrote in the export's own folder could not be
// taken away (another program still holds it): the user is told where it is.
inline const char kExportFailedLeftover[] =
    "「%s」のエクスポートに失敗しました。%ld\n書きかけのファイルが「%s」フォルダに残っています。バックアップではありませんので、削除してください。";  // name, code, folder
// The old backup could not be replaced (another program holds it): it stays as it was,
// and nothing of the new one is left.
inline const char kBackupNotReplaced[] =
    "「%s」のバックアップを置き換えられませんでした。%ld\n前のバックアップはそのまま残っています。";  // name, code
// The BOOK folder was no longer provably the destination's own: nothing was touched.
inline const char kExportFailedNewKept[] =
    "「%s」のエクスポートに失敗しました。%ld\n新しいバックアップは「%s」にあります。";  // name, code, file
// The export's own folders .n1 to .n9 in the BOOK folder are all there, left by exports
// that were ended midway: the user is told where, and what to clear.
inline const char kExportFoldersTaken[] =
    "「%s」のエクスポートに失敗しました。%ld\n「%s」フォルダの中の「.n1」～「.n9」フォルダを確かめ、不要なものを削除してから、再度エクスポートしてください。";  // name, code, BOOK folder
inline const char kExportDone[] = "BOOKのエクスポートが終了しました。";

// Import.
inline const char kBadImportSource[] = "インポート元の指定が正しくありません。\n指定し直してください。";
inline const char kLowFreeSpace[] =
    "データベースドライブの空き容量が%ldMBです。\n300MB以上の空き容量を確保して、再度、インポートを行ってください。";
inline const char kNoSourceDatabase[] =
    "指定したファイルのバックアップ元データベースが存在しません。\n指定し直してください。";
inline const char kBookInUse[] = "対象のBOOKはアプリケーションで使用中のため、インポートに失敗しました。%ld";  // code
inline const char kImportFailed[] = "「%s」のインポートに失敗しました。%ld";  // file, code
inline const char kImportDone[] = "BOOKのインポートが終了しました。";

// A folder or file whose name the tool's code page cannot spell (a yen sign, Hangul, a
// character beyond Shift-JIS): it would be read as another path, so it is not used.
inline const char kUnspellablePath[] =
    "「%s」の名前には、このツールで使用できない文字が含まれています。\n名前を変えるか、別の場所を指定してください。";  // path
inline const char kUnspellableProgramFolder[] =
    "このツールの置き場所「%s」の名前には、このツールで使用できない文字が含まれています。\n"
    "ツールを別のフォルダに置いてから起動してください。\nツールを終了します。";  // program file

// The database server: not reached at start-up, or gone since.
inline const char kConnectionFailed[] = "データベースへの接続に失敗しました。 %ld";  // code

// Work folder.
inline const char kCreateWorkFolder[] = "指定された作業フォルダは存在しません。作成してよろしいですか？";
inline const char kWorkFolderNotMade[] = "作業フォルダ「%s」を作成できませんでした。%ld";  // folder, code
inline const char kWorkFolderNotSaved[] = "作業フォルダの設定を「%s」に保存できませんでした。%ld";  // Dbaccess.ini, code

}  // namespace msg

// The numbers the tool itself puts into a message where the system or the server gave
// none; each is the system's error of that meaning, and the guide's number table
// explains each (a test holds the two together). The others are the system's or the
// server's own.
namespace code {

inline const long kExportFoldersTaken = 80;  // ERROR_FILE_EXISTS: .n1 to .n9 all there
inline const long kNoFolderName = 123;       // ERROR_INVALID_NAME: no name Windows keeps as written
inline const long kNotOwnFolder = 161;       // ERROR_BAD_PATHNAME: not provably the destination's own
inline const long kNameTooLong = 206;        // ERROR_FILENAME_EXCED_RANGE: past the 260-byte buffers
inline const long kThroughAFile = 267;       // ERROR_DIRECTORY: a file where a folder must be
inline const long kBackupNotWritten = 1006;  // ERROR_FILE_INVALID: the server's backup missing or empty
inline const long kUnspellableName = 1113;   // ERROR_NO_UNICODE_TRANSLATION: a database name the code page cannot spell

}  // namespace code

// Texts that are no message: a list's column headers, the pickers' titles and filter.
namespace label {

inline const char kBookNameHeader[] = "BOOK名称";
inline const char kBookSpotHeader[] = "BOOK作成者";
inline const char kChooseExportFolder[] = "エクスポート先を選択してください。";
inline const char kChooseWorkFolder[] = "作業フォルダを選択してください";
inline const char kBookFileFilter[] = "BOOKファイル (BOOK*.mdf)\0BOOK*.mdf\0";

}  // namespace label

// printf-style formatting into a string of any length.
std::string FormatText(const char* format, ...);
