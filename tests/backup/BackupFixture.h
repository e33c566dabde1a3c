// Shared set-up of the backup tests: a fake server holding a catalogue, the system's
// CarryInfo.ini above the test program, the dialog driven in-process, and what the
// user saw.
#pragma once
#include "BookBackupDialog.h"
#include "DatabaseAccess.h"
#include "FakeDatabaseServer.h"
#include "ShellDialogs.h"
#include "Support.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace backuptest {

struct Shelf {
    int id;
    const char* name;  // UTF-8
};
struct Book {
    int id;
    const char* spot;
    const char* bookName;
    const char* siteName;  // UTF-8
};
struct Link {
    int shelfId;
    int bookId;
};

struct ComboItem {
    std::string text;
    int image;
    LPARAM data;
    bool operator==(const ComboItem& o) const { return text == o.text && image == o.image && data == o.data; }
};
struct ListRow {
    std::string name;
    std::string spot;
    int image;
    LPARAM data;
    bool operator==(const ListRow& o) const
    {
        return name == o.name && spot == o.spot && image == o.image && data == o.data;
    }
};
std::ostream& operator<<(std::ostream& out, const ComboItem& i);
std::ostream& operator<<(std::ostream& out, const ListRow& r);

std::vector<ComboItem> ComboItems(HWND dialog);
std::vector<ListRow> ListRows(HWND dialog);
void SelectShelf(HWND dialog, int index);
void SelectRow(HWND dialog, int row);
// Chooses export (IDC_MODE_EXPORT) or import (IDC_MODE_IMPORT) as the user's click would.
void SwitchMode(HWND dialog, int modeButton);

class BackupTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    void Catalogue(const std::vector<Shelf>& shelves, const std::vector<Book>& books, const std::vector<Link>& links);
    void CarryInfo(const std::string& content);  // written as it stands (ASCII)
    void Carried(const std::vector<int>& bookIds);

    // Runs the dialog; each step is tried on every tick until it returns true; the
    // dialog is closed after the last.
    void Run(BookBackupDialog& dialog, std::vector<std::function<bool()>> steps);
    void Run(std::vector<std::function<bool()>> steps) { Run(dialog, std::move(steps)); }

    std::string carryInfoPath = testsupport::ProgramFolder() + "..\\CarryInfo.ini";
    testsupport::FakeDatabaseServer fake;
    DatabaseServer* pointer = &fake;
    testsupport::MessageBoxRecorder boxes;
    BookBackupDialog dialog;
};

}  // namespace backuptest
