// One item of a row as the server delivers it: anything, "KEY=", the column name, TAB,
// a number, TAB, the value. The parser puts the value into the record's field of that
// column. Pure text code: it runs in the native tests and the fuzzer too.
#pragma once
#include "BufferSize.h"

#include <cstddef>

enum class FieldKind { Integer, Text };

struct FieldLayout {
    const char* column;   // exact column name (case counts)
    FieldKind kind;
    size_t offset;        // into the record
    size_t size;          // of the field: 4 for an integer, the array size for text
};

// Column name, number and value: at most 259 bytes each.
enum { kItemPartSize = kPathBufferSize };

// Parses item (ANSI, zero-terminated) into record. Returns 1 when a field was set, 0
// when the item was ignored (no "KEY=", a missing TAB, or a column the record lacks).
int ParseItem(const char* item, void* record, const FieldLayout* fields, size_t fieldCount);

// atoi as the runtime gives it: leading blanks, an optional sign, digits up to the
// first other character, 0 without digits; beyond the int range it stops at the limit.
int ParseInteger(const char* text);

// The fields of the three records.
extern const FieldLayout kBookShelfFields[2];
extern const FieldLayout kBookFields[6];
extern const FieldLayout kShelfBookLinkFields[3];
