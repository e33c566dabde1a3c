// The backup dialog's catalogue: the three tables of the common database, read once when
// the dialog opens, and where the list of carried-out BOOKs (CarryInfo.ini) lies.
#pragma once
#include "BufferSize.h"
#include "Records.h"

#include <windows.h>

#include <cstdint>
#include <unordered_set>
#include <vector>

struct CarriedBookCatalogue {
    HGLOBAL shelves;       // BookShelfRecord[shelfCount]
    long shelfCount;
    HGLOBAL books;         // BookRecord[bookCount]
    long bookCount;
    HGLOBAL links;         // ShelfBookLink[linkCount]
    long linkCount;
    char carryInfoPath[kPathBufferSize];
};

// The BOOK ids CarryInfo.ini lists as carried out, read from the file once: for every
// entry k from 1 to N (CarryingCnt) the CarryingBookID of section "CarryingInfo_k",
// an entry without its section standing for BOOK id 0.
class CarriedBooks {
public:
    static CarriedBooks Read(const char* carryInfoPath);
    bool Contains(int32_t bookId) const { return m_ids.count(bookId) != 0; }
    int Count() const { return m_count; }  // N as the file gives it

private:
    std::unordered_set<int32_t> m_ids;
    int m_count = 0;
};

// Positions (in table order) of the shelves that hold a carried-out BOOK.
std::vector<long> ShelvesWithCarriedBooks(const BookShelfRecord* shelves, long shelfCount,
                                          const ShelfBookLink* links, long linkCount,
                                          const CarriedBooks& carried);
// Positions (in table order) of the carried-out BOOKs on the shelf shelfId.
std::vector<long> CarriedBooksOnShelf(const BookRecord* books, long bookCount, const ShelfBookLink* links,
                                      long linkCount, int32_t shelfId, const CarriedBooks& carried);
