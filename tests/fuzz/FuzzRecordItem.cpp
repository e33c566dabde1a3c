// libFuzzer: one item of a row from the server, into each of the three records. The
// records sit in exactly sized heap blocks, so a write past a field or a record is
// caught by AddressSanitizer.
#include "RecordParser.h"
#include "Records.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string item(reinterpret_cast<const char*>(data), size);  // stops at the first NUL, as the tool's text does
    std::unique_ptr<BookRecord> book(new BookRecord());
    std::unique_ptr<BookShelfRecord> shelf(new BookShelfRecord());
    std::unique_ptr<ShelfBookLink> link(new ShelfBookLink());
    // Twice, so that appending to a field that is already full is exercised too.
    for (int i = 0; i < 2; ++i) {
        ParseItem(item.c_str(), book.get(), kBookFields, 6);
        ParseItem(item.c_str(), shelf.get(), kBookShelfFields, 2);
        ParseItem(item.c_str(), link.get(), kShelfBookLinkFields, 3);
    }
    // Every text field stays terminated within its bounds.
    for (const char* field : {book->Spot, book->BookName, book->SiteName, book->StartDate, book->EndDate})
        if (!std::memchr(field, 0, 128))
            __builtin_trap();
    if (!std::memchr(shelf->BookShelfName, 0, 128))
        __builtin_trap();
    return 0;
}
