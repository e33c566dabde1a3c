// The table records the readers hand back: fixed layouts, packed with no gaps, one
// zero-filled movable global block of them per table.
#pragma once
#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)
struct BookShelfRecord {
    int32_t T_Index;             // the shelf's id
    char BookShelfName[128];     // shown to the user
};

struct BookRecord {
    int32_t T_Index;             // the BOOK's id
    char Spot[128];              // shown under "BOOK作成者"
    char BookName[128];          // the BOOK's database name; names its backup file
    char SiteName[128];          // the name the BOOK is listed under
    char StartDate[128];
    char EndDate[128];
};

struct ShelfBookLink {
    int32_t T_Index;
    int32_t BookShelfID;         // T_Index of a BookShelfRecord
    int32_t BookID;              // T_Index of a BookRecord
};
#pragma pack(pop)

static_assert(sizeof(BookShelfRecord) == 132, "BookShelfRecord is 132 bytes");
static_assert(sizeof(BookRecord) == 644, "BookRecord is 644 bytes");
static_assert(sizeof(ShelfBookLink) == 12, "ShelfBookLink is 12 bytes");
