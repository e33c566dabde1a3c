// Benchmark of the backup dialog's catalogue through the stand-in server, each figure
// against a baseline of the same run:
//   - loading 200 shelves, 5,000 BOOKs and 10,000 links, per row, against a no-op call;
//   - the fills (CarryInfo.ini read once, sets) against the literal nested walk with a
//     profile read per candidate link, at a size the literal walk finishes in seconds.
#include "BookBackupDialog.h"
#include "CarriedBookCatalogue.h"
#include "DatabaseAccess.h"
#include "ServerConnection.h"
#include "Storage.h"

#include "BenchClock.h"
#include "BenchData.h"
#include "../backup/CarriedOracle.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Folder()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s = path;
    return s.substr(0, s.find_last_of('\\') + 1);
}

struct Tables {
    std::vector<BookShelfRecord> shelves;
    std::vector<BookRecord> books;
    std::vector<ShelfBookLink> links;
};

template <class R>
std::vector<R> Copy(HGLOBAL block, long count)
{
    std::vector<R> out(static_cast<size_t>(count));
    if (block && count > 0) {
        std::memcpy(out.data(), GlobalLock(block), sizeof(R) * out.size());
        GlobalUnlock(block);
    }
    return out;
}

// What the two fills show for the first shelf: the combo, then the list.
size_t FastFills(const Tables& t, const char* path)
{
    CarriedBooks carried = CarriedBooks::Read(path);
    std::vector<long> shelves = ShelvesWithCarriedBooks(t.shelves.data(), static_cast<long>(t.shelves.size()),
                                                        t.links.data(), static_cast<long>(t.links.size()), carried);
    CarriedBooks again = CarriedBooks::Read(path);  // the list's fill reads the file afresh
    int32_t first = shelves.empty() ? -1 : t.shelves[shelves[0]].T_Index;
    return shelves.size() + CarriedBooksOnShelf(t.books.data(), static_cast<long>(t.books.size()), t.links.data(),
                                                static_cast<long>(t.links.size()), first, again).size();
}

size_t LiteralFills(const Tables& t, const char* path)
{
    int n = static_cast<int>(GetPrivateProfileIntA("CarryingCommon", "CarryingCnt", 0, path));
    std::vector<long> shelves;
    for (long i = 0; i < static_cast<long>(t.shelves.size()); ++i)
        for (const ShelfBookLink& l : t.links)
            if (l.BookShelfID == t.shelves[i].T_Index && IsBookCarriedOutIn(path, l.BookID, n)) {
                shelves.push_back(i);
                break;
            }
    int32_t first = shelves.empty() ? -1 : t.shelves[shelves[0]].T_Index;
    size_t rows = 0;
    for (const BookRecord& b : t.books)
        for (const ShelfBookLink& l : t.links)
            if (l.BookShelfID == first && l.BookID == b.T_Index && IsBookCarriedOutIn(path, l.BookID, n)) {
                ++rows;
                break;
            }
    return shelves.size() + rows;
}

}  // namespace

int main()
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::string data = Folder() + "benchdata\\";
    CreateDirectoryA(data.c_str(), nullptr);
    HKEY key;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\OrvelDatabaseServer", 0, nullptr, 0, KEY_WRITE | KEY_WOW64_32KEY,
                    nullptr, &key, nullptr);
    RegSetValueExA(key, "DataFolder", 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()), static_cast<DWORD>(data.size() + 1));
    RegDeleteValueA(key, "Apartment");  // the server as it runs by default
    RegCloseKey(key);

    const int kShelves = 200, kBooks = 5000, kLinks = 10000, kCarried = 500;
    WriteCommonDatabase(data, kShelves, kBooks, kLinks);
    // CarryInfo.ini lies in the folder above this program, where the dialog looks.
    std::string carryInfo = Folder() + "..\\CarryInfo.ini";
    WriteCarryInfo(carryInfo, kCarried, kBooks);

    DatabaseServer* server = nullptr;
    if (FAILED(ConnectDatabaseServer(&server))) {
        Failed("catalogue load, per row (ms)", "the stand-in server is not registered");
        return ExitCode();
    }
    DatabaseAccess::SetServerSlot(&server);
    for (int i = 0; i < 200; ++i)
        server->Reserved03();
    std::vector<double> noop;
    for (int i = 0; i < 2000; ++i) {
        double t0 = Now();
        server->Reserved03();
        noop.push_back(Now() - t0);
    }
    double floor = Median(noop);

    Tables tables;
    double load;
    bool loaded;
    {
        BookBackupDialog dialog;  // never shown: its catalogue is loaded directly
        double t0 = Now();
        int ok = dialog.LoadCatalogue();
        load = Now() - t0;
        const CarriedBookCatalogue& c = dialog.Catalogue();
        loaded = ok && c.shelfCount == kShelves && c.bookCount == kBooks && c.linkCount == kLinks;
        tables.shelves = Copy<BookShelfRecord>(c.shelves, c.shelfCount);
        tables.books = Copy<BookRecord>(c.books, c.bookCount);
        tables.links = Copy<ShelfBookLink>(c.links, c.linkCount);
    }
    long rows = kShelves + kBooks + kLinks;
    if (loaded)
        Line("catalogue load, per row (ms)", load / rows * 1000, floor * 1000, "ms", (load / rows) / floor, "<= 1.5");
    else
        Failed("catalogue load, per row (ms)", "the catalogue did not load whole");

    double t0 = Now();
    size_t fullFast = FastFills(tables, carryInfo.c_str());
    double fastFull = Now() - t0;
    std::printf("%-44s %10.4f s   (%d shelves, %d BOOKs, %d links, %d carried; %zu entries shown)\n",
                "fills at full size, fast (s)", fastFull, kShelves, kBooks, kLinks, kCarried, fullFast);

    // The literal walk reads a profile entry per candidate link: measured smaller.
    Tables small;
    small.shelves.assign(tables.shelves.begin(), tables.shelves.begin() + 40);
    small.books.assign(tables.books.begin(), tables.books.begin() + 1000);
    for (const ShelfBookLink& l : tables.links)
        if (l.BookShelfID <= 40 && l.BookID <= 1000)
            small.links.push_back(l);
    WriteCarryInfo(carryInfo, 50, 1000);
    double f0 = Now();
    size_t fastShown = 0;
    for (int i = 0; i < 20; ++i)
        fastShown = FastFills(small, carryInfo.c_str());
    double fast = (Now() - f0) / 20;
    double l0 = Now();
    size_t literalShown = LiteralFills(small, carryInfo.c_str());
    double literal = Now() - l0;
    char label[96];
    std::snprintf(label, sizeof label, "fills, 40 shelves, %zu links, 50 carried (ms)", small.links.size());
    if (fastShown != literalShown || fastShown == 0)
        Failed(label, "the fills disagree: " + std::to_string(fastShown) + " against " + std::to_string(literalShown));
    else
        Line(label, fast * 1000, literal * 1000, "ms", literal / fast, ">= 100 (baseline / value)");

    DeleteFileA(carryInfo.c_str());
    DatabaseAccess::SetServerSlot(nullptr);
    ReleaseDatabaseServer(&server);
    CoUninitialize();
    return ExitCode();
}
