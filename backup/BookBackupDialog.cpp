#include "BookBackupDialog.h"

#include "Application.h"
#include "BookTransfer.h"
#include "DatabaseAccess.h"
#include "FolderTools.h"
#include "MessageBox.h"
#include "Messages.h"
#include "ProgramPath.h"
#include "ServerConnection.h"
#include "ShellDialogs.h"
#include "WaitCursor.h"
#include "WideText.h"
#include "resource.h"

#include <cstring>
#include <string>

namespace {
const char kCommonDatabase[] = "RariveSystemCommonDB";
const int kModeRadios[] = {IDC_MODE_EXPORT, IDC_MODE_IMPORT};

int NextSelectedRow(HWND list, int after)
{
    return static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(after), LVNI_SELECTED));
}

void Show(const Notice& notice)
{
    if (!notice.text.empty())
        winui::AppMessageBox(notice.text.c_str(), notice.flags);
}

bool AskOverwrite(const std::string& bookFolder)
{
    bool yes = winui::AppMessageBox(FormatText(msg::kOverwriteFolder, bookFolder.c_str()).c_str(),
                                    MB_YESNO | MB_ICONQUESTION) == IDYES;
    // The question's box put the arrow back; the backup that follows may take minutes.
    winui::RestoreWaitCursor();
    return yes;
}
}  // namespace

Notice DestinationNotice(DestinationCheck check, const std::string& destination)
{
    switch (check) {
    case DestinationCheck::Missing:
        return {msg::kNoExportFolder, MB_OK};
    case DestinationCheck::NotAFolder:
        return {msg::kBadExportFolder, MB_OK};
    case DestinationCheck::NetHood:
        return {FormatText(msg::kNetHoodFolder, destination.c_str()), MB_OK};
    case DestinationCheck::NoBookSelected:
        return {msg::kNoBookSelected, MB_OK};
    case DestinationCheck::Unusable:
        return {msg::kUnusableFolder, MB_OK};
    case DestinationCheck::FixedDriveRoot:
        return {msg::kDriveRoot, MB_OK};
    case DestinationCheck::Ok:
        break;
    }
    return {std::string(), MB_OK};
}

Notice ExportNotice(const ExportOutcome& outcome, const std::string& siteName)
{
    switch (outcome.kind) {
    case ExportOutcome::Declined:
        return {FormatText(msg::kExportCancelled, siteName.c_str()), MB_OK};
    case ExportOutcome::Failed:
    case ExportOutcome::NotEmptied:  // the new backup is in place, the old folder not all gone
        return {FormatText(msg::kExportFailed, siteName.c_str(), outcome.code), MB_OK | MB_ICONSTOP};
    case ExportOutcome::FailedLeftover:
        return {FormatText(msg::kExportFailedLeftover, siteName.c_str(), outcome.code, outcome.where.c_str()),
                MB_OK | MB_ICONSTOP};
    case ExportOutcome::NotReplaced:
        return {FormatText(msg::kBackupNotReplaced, siteName.c_str(), outcome.code), MB_OK | MB_ICONSTOP};
    case ExportOutcome::NewLeftInExportFolder:
        return {FormatText(msg::kExportFailedNewKept, siteName.c_str(), outcome.code, outcome.where.c_str()),
                MB_OK | MB_ICONSTOP};
    case ExportOutcome::ExportFoldersTaken:
        return {FormatText(msg::kExportFoldersTaken, siteName.c_str(), outcome.code, outcome.where.c_str()),
                MB_OK | MB_ICONSTOP};
    case ExportOutcome::Exported:  // one closing message after the last BOOK
    case ExportOutcome::Skipped:
        break;
    }
    return {std::string(), MB_OK};
}

Notice ImportNotice(const ImportOutcome& outcome, const std::string& file)
{
    switch (outcome.kind) {
    case ImportOutcome::Restored:
        return {msg::kImportDone, MB_OK | MB_ICONINFORMATION};
    case ImportOutcome::BadSource:
        return {msg::kBadImportSource, MB_OK};
    case ImportOutcome::LowSpace:
        return {FormatText(msg::kLowFreeSpace, outcome.value), MB_OK};
    case ImportOutcome::NoDatabase:
        return {msg::kNoSourceDatabase, MB_OK};
    case ImportOutcome::Unusable:
        return {msg::kUnusableFolder, MB_OK};
    case ImportOutcome::InUse:
        return {FormatText(msg::kBookInUse, outcome.value), MB_OK | MB_ICONSTOP};
    case ImportOutcome::NoFreeSpaceFigure:
    case ImportOutcome::Failed:
        break;
    }
    return {FormatText(msg::kImportFailed, file.c_str(), outcome.value), MB_OK | MB_ICONSTOP};
}

BookBackupDialog::BookBackupDialog(HWND parent) : winui::Dialog(IDD_BOOK_BACKUP, parent) {}

BookBackupDialog::~BookBackupDialog()
{
    FreeCatalogue();
    if (m_imageList)
        ImageList_Destroy(m_imageList);
}

void BookBackupDialog::DoDataExchange(winui::DataExchange& dx)
{
    dx.Radio(kModeRadios, 2, &m_mode);
    dx.Text(IDC_EXPORT_FOLDER, m_exportFolder, sizeof m_exportFolder);
    dx.Text(IDC_IMPORT_FILE, m_importFile, sizeof m_importFile);
}

BOOL BookBackupDialog::OnInitDialog()
{
    winui::Dialog::OnInitDialog();
    std::memset(&m_catalogue, 0, sizeof m_catalogue);

    if (m_imageList)
        ImageList_Destroy(m_imageList);
    m_imageList = ImageList_Create(16, 16, ILC_COLOR32, 0, 24);
    HBITMAP strip = static_cast<HBITMAP>(
        LoadImageA(winui::ResourceInstance(), MAKEINTRESOURCEA(IDB_BOOK_IMAGES), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (m_imageList && strip)
        ImageList_AddMasked(m_imageList, strip, RGB(0, 0, 0));
    if (strip)
        DeleteObject(strip);
    m_mode = 0;

    SendDlgItemMessageA(Hwnd(), IDC_SHELF_COMBO, CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(m_imageList));
    HWND list = Item(IDC_BOOK_LIST);
    const char* headers[] = {label::kBookNameHeader, label::kBookSpotHeader};
    for (int i = 0; i < 2; ++i) {
        LVCOLUMNA column = {};
        column.mask = LVCF_FMT | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.pszText = const_cast<char*>(headers[i]);
        column.iSubItem = i;
        SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
    }
    // The combo box and the list share the image list; the dialog alone destroys it.
    SetWindowLongPtrA(list, GWL_STYLE, GetWindowLongPtrA(list, GWL_STYLE) | LVS_SHAREIMAGELISTS);
    SendMessageA(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(m_imageList));
    DWORD extended = static_cast<DWORD>(SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, extended | LVS_EX_FULLROWSELECT);

    LoadCatalogue();
    FillShelfCombo();
    FillBookList();
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, LVSCW_AUTOSIZE_USEHEADER);
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 1, LVSCW_AUTOSIZE_USEHEADER);
    UpdateData(FALSE);
    UpdateControlStates();
    return TRUE;
}

void BookBackupDialog::FreeCatalogue()
{
    for (HGLOBAL* block : {&m_catalogue.shelves, &m_catalogue.books, &m_catalogue.links}) {
        if (*block)
            GlobalFree(*block);
        *block = nullptr;
    }
}

int BookBackupDialog::LoadCatalogue()
{
    winui::WaitCursor wait;
    FreeCatalogue();
    std::memset(&m_catalogue, 0, sizeof m_catalogue);
    DatabaseAccess access;
    DatabaseAccess::TakeLostConnection();
    long code = access.OpenDatabase(kCommonDatabase);
    if (code != 0) {
        winui::AppMessageBox(FormatText(msg::kCannotOpenDatabase, kCommonDatabase, code).c_str(), MB_OK | MB_ICONSTOP);
        return 0;
    }
    const char* failed = nullptr;
    const char* format = nullptr;
    if (!access.ReadBookShelfRecords(kCommonDatabase, "BookShelfTBL", &m_catalogue.shelves, &m_catalogue.shelfCount)) {
        failed = "BookShelfTBL";
        format = msg::kNoShelves;
    } else if (!access.ReadBookRecords(kCommonDatabase, "BookCommonTBL", &m_catalogue.books, &m_catalogue.bookCount)) {
        failed = "BookCommonTBL";
        format = msg::kNoBooks;
    } else if (!access.ReadShelfBookLinks(kCommonDatabase, "BookShelfInfoTBL", &m_catalogue.links,
                                          &m_catalogue.linkCount)) {
        failed = "BookShelfInfoTBL";
        format = msg::kNoShelfBooks;
    }
    if (failed) {
        // A server gone midway is told as the export and the import tell it, not as a
        // table the common database lacks.
        long lost = DatabaseAccess::TakeLostConnection();
        winui::AppMessageBox(lost ? FormatText(msg::kConnectionFailed, lost).c_str() : FormatText(format, failed).c_str(),
                             MB_OK | MB_ICONSTOP);
        FreeCatalogue();
        std::memset(&m_catalogue, 0, sizeof m_catalogue);
        access.CloseDatabase(kCommonDatabase);
        return 0;
    }
    access.CloseDatabase(kCommonDatabase);
    // CarryInfo.ini lies beside RariveMenu.ini, in the folder above the program's.
    ProgramParentFolderFile("CarryInfo", "ini", m_catalogue.carryInfoPath, sizeof m_catalogue.carryInfoPath);
    return 1;
}

bool BookBackupDialog::FindBookRecord(int32_t bookId, BookRecord* record) const
{
    if (!m_catalogue.books)
        return false;
    const auto* books = static_cast<const BookRecord*>(GlobalLock(m_catalogue.books));
    bool found = false;
    for (long i = 0; books && i < m_catalogue.bookCount && !found; ++i) {
        if (books[i].T_Index == bookId) {
            *record = books[i];
            found = true;
        }
    }
    if (books)
        GlobalUnlock(m_catalogue.books);
    return found;
}

void BookBackupDialog::ExportBooks()
{
    const std::string destination = m_exportFolder;
    HWND list = Item(IDC_BOOK_LIST);
    int row = NextSelectedRow(list, -1);
    DestinationCheck check = CheckExportDestination(destination, row != -1);
    if (check != DestinationCheck::Ok) {
        Show(DestinationNotice(check, destination));
        return;
    }
    bool exported = false;
    for (; row != -1;) {
        // The next selected row is found before this one is handled.
        int next = NextSelectedRow(list, row);
        LVITEMA item = {};
        item.mask = LVIF_PARAM;
        item.iItem = row;
        SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        row = next;
        BookRecord book;
        if (!FindBookRecord(static_cast<int32_t>(item.lParam), &book))
            continue;
        ExportOutcome outcome = ExportBook(book, destination, AskOverwrite);
        exported |= outcome.kind == ExportOutcome::Exported;
        Show(ExportNotice(outcome, ShownText(std::string(book.SiteName, strnlen(book.SiteName, sizeof book.SiteName)).c_str())));
        if ((outcome.kind == ExportOutcome::Failed || outcome.kind == ExportOutcome::FailedLeftover) &&
            IsConnectionLost(outcome.code)) {
            // Said once, not once for every BOOK still selected; the next call connects
            // afresh.
            Show({FormatText(msg::kConnectionFailed, outcome.code), MB_OK | MB_ICONSTOP});
            break;
        }
    }
    if (exported)
        Show({msg::kExportDone, MB_OK | MB_ICONINFORMATION});
}

void BookBackupDialog::ImportBook()
{
    const std::string file = m_importFile;
    ImportOutcome outcome = ImportBookFile(file);
    Show(ImportNotice(outcome, file));
    // A server that is gone is said as such, as the export says it; the next call
    // connects afresh.
    if ((outcome.kind == ImportOutcome::Failed || outcome.kind == ImportOutcome::NoFreeSpaceFigure) &&
        IsConnectionLost(outcome.value))
        Show({FormatText(msg::kConnectionFailed, outcome.value), MB_OK | MB_ICONSTOP});
}

void BookBackupDialog::FillShelfCombo()
{
    HWND combo = Item(IDC_SHELF_COMBO);
    const auto* shelves = static_cast<const BookShelfRecord*>(m_catalogue.shelves ? GlobalLock(m_catalogue.shelves) : nullptr);
    const auto* links = static_cast<const ShelfBookLink*>(m_catalogue.links ? GlobalLock(m_catalogue.links) : nullptr);
    CarriedBooks carried = CarriedBooks::Read(m_catalogue.carryInfoPath);
    SendMessageA(combo, CB_RESETCONTENT, 0, 0);
    if (shelves && links) {
        int inserted = 0;
        for (long i : ShelvesWithCarriedBooks(shelves, m_catalogue.shelfCount, links, m_catalogue.linkCount, carried)) {
            COMBOBOXEXITEMA item = {};
            item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE | CBEIF_LPARAM;
            item.iItem = inserted++;
            std::string name = ShownText(shelves[i].BookShelfName);
            item.pszText = &name[0];
            item.iImage = item.iSelectedImage = (i == 0) ? 0 : 1;
            item.lParam = shelves[i].T_Index;
            SendMessageA(combo, CBEM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        }
    }
    if (shelves)
        GlobalUnlock(m_catalogue.shelves);
    if (links)
        GlobalUnlock(m_catalogue.links);
    SendMessageA(combo, CB_SETCURSEL, 0, 0);
}

void BookBackupDialog::FillBookList()
{
    HWND combo = Item(IDC_SHELF_COMBO);
    HWND list = Item(IDC_BOOK_LIST);
    const auto* books = static_cast<const BookRecord*>(m_catalogue.books ? GlobalLock(m_catalogue.books) : nullptr);
    const auto* links = static_cast<const ShelfBookLink*>(m_catalogue.links ? GlobalLock(m_catalogue.links) : nullptr);
    LRESULT selected = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    int32_t shelfId = static_cast<int32_t>(SendMessageA(combo, CB_GETITEMDATA, static_cast<WPARAM>(selected), 0));
    CarriedBooks carried = CarriedBooks::Read(m_catalogue.carryInfoPath);
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    if (books && links) {
        int inserted = 0;
        for (long i : CarriedBooksOnShelf(books, m_catalogue.bookCount, links, m_catalogue.linkCount, shelfId, carried)) {
            LVITEMA row = {};
            row.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
            row.iItem = inserted++;
            // What the code page could not spell is shown as '?'.
            std::string site = ShownText(books[i].SiteName), spotText = ShownText(books[i].Spot);
            row.pszText = &site[0];
            row.iImage = 2;
            row.lParam = books[i].T_Index;
            int at = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&row)));
            LVITEMA spot = {};
            spot.iSubItem = 1;
            spot.pszText = &spotText[0];
            SendMessageA(list, LVM_SETITEMTEXTA, at, reinterpret_cast<LPARAM>(&spot));
        }
    }
    if (books)
        GlobalUnlock(m_catalogue.books);
    if (links)
        GlobalUnlock(m_catalogue.links);
}

void BookBackupDialog::UpdateControlStates()
{
    UpdateData(TRUE);
    const bool exporting = m_mode == 0;
    EnableWindow(Item(IDC_SHELF_COMBO), exporting);
    EnableWindow(Item(IDC_BOOK_LIST), exporting);
    EnableWindow(Item(IDC_EXPORT_FOLDER), exporting);
    EnableWindow(Item(IDC_BROWSE_EXPORT), exporting);
    EnableWindow(Item(IDC_IMPORT_FILE), !exporting);
    EnableWindow(Item(IDC_BROWSE_IMPORT), !exporting);
}

void BookBackupDialog::OnModeChanged()
{
    HWND list = Item(IDC_BOOK_LIST);
    int row = NextSelectedRow(list, -1);
    while (row != -1) {
        int next = NextSelectedRow(list, row);
        LVITEMA state = {};
        state.stateMask = LVIS_SELECTED;
        state.state = 0;
        SendMessageA(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
        row = next;
    }
    UpdateControlStates();
}

void BookBackupDialog::OnBrowseExportFolder()
{
    UpdateData(TRUE);
    BrowseForFolder(label::kChooseExportFolder, m_exportFolder, sizeof m_exportFolder);
    UpdateData(FALSE);
}

void BookBackupDialog::OnBrowseImportFile()
{
    UpdateData(TRUE);
    wchar_t file[MAX_PATH];
    std::wstring current = Widen(m_importFile);
    lstrcpynW(file, current.c_str(), MAX_PATH);
    // The filter's parts, each with its terminator; the string's own ends the list.
    std::wstring filter;
    for (const char* part = label::kBookFileFilter; *part; part += std::strlen(part) + 1)
        filter += Widen(part) + L'\0';
    OPENFILENAMEW info = {};
    info.lStructSize = sizeof info;
    info.hwndOwner = nullptr;
    info.lpstrFilter = filter.c_str();
    info.nFilterIndex = 1;
    info.lpstrFile = file;
    info.nMaxFile = MAX_PATH;
    info.lpstrDefExt = L"mdf";
    info.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_EXPLORER;
    // The file as picked, or nothing: never the other file its ANSI name would be.
    if (winui::ShowOpenFileDialog(&info) && TakeSpelledPath(file, m_importFile, sizeof m_importFile) == TakenPath::Taken)
        UpdateData(FALSE);
}

void BookBackupDialog::OnShelfSelChange() { FillBookList(); }

void BookBackupDialog::OnOK()
{
    // Text of the mode's field that the exchange refused is never worked on: the member
    // would still hold an earlier folder or file.
    UpdateData(TRUE);
    const bool importing = m_mode != 0;
    TakenPath taken = TakenFieldText(Item(importing ? IDC_IMPORT_FILE : IDC_EXPORT_FOLDER),
                                     importing ? m_importFile : m_exportFolder);
    if (taken == TakenPath::TooLong)
        winui::AppMessageBox(importing ? msg::kBadImportSource : msg::kUnusableFolder);
    if (taken != TakenPath::Taken)
        return;
    winui::WaitCursor wait;
    if (importing)
        ImportBook();
    else
        ExportBooks();
}

void BookBackupDialog::OnDestroy() { FreeCatalogue(); }

bool BookBackupDialog::OnCommand(WORD id, WORD code, HWND)
{
    if (code == BN_CLICKED) {
        switch (id) {
        case IDC_MODE_EXPORT:
        case IDC_MODE_IMPORT:
            OnModeChanged();
            return true;
        case IDC_BROWSE_EXPORT:
            OnBrowseExportFolder();
            return true;
        case IDC_BROWSE_IMPORT:
            OnBrowseImportFile();
            return true;
        default:
            return false;
        }
    }
    if (code == CBN_SELCHANGE && id == IDC_SHELF_COMBO) {
        OnShelfSelChange();
        return true;
    }
    return false;
}

bool BookBackupDialog::OnMessage(UINT msg, WPARAM, LPARAM, LRESULT*)
{
    if (msg == WM_DESTROY)
        OnDestroy();
    return false;
}
