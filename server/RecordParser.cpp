#include "RecordParser.h"

#include "MbText.h"
#include "Records.h"

#include <climits>
#include <cstdint>
#include <cstring>

#define INT_FIELD(record, field) {#field, FieldKind::Integer, offsetof(record, field), sizeof(int32_t)}
#define TEXT_FIELD(record, field) \
    {#field, FieldKind::Text, offsetof(record, field), sizeof(static_cast<record*>(nullptr)->field)}

const FieldLayout kBookShelfFields[2] = {
    INT_FIELD(BookShelfRecord, T_Index),
    TEXT_FIELD(BookShelfRecord, BookShelfName),
};
const FieldLayout kBookFields[6] = {
    INT_FIELD(BookRecord, T_Index),    TEXT_FIELD(BookRecord, Spot),
    TEXT_FIELD(BookRecord, BookName),  TEXT_FIELD(BookRecord, SiteName),
    TEXT_FIELD(BookRecord, StartDate), TEXT_FIELD(BookRecord, EndDate),
};
const FieldLayout kShelfBookLinkFields[3] = {
    INT_FIELD(ShelfBookLink, T_Index),
    INT_FIELD(ShelfBookLink, BookShelfID),
    INT_FIELD(ShelfBookLink, BookID),
};

int ParseInteger(const char* p)
{
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    int64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > int64_t(INT_MAX) + 1)
            value = int64_t(INT_MAX) + 1;  // saturated; more digits change nothing
    }
    if (negative)
        return value > INT_MAX ? INT_MIN : -static_cast<int>(value);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

int ParseItem(const char* item, void* record, const FieldLayout* fields, size_t fieldCount)
{
    const char* key = std::strstr(item, "KEY=");
    if (!key)
        return 0;
    const char* name = key + 4;
    const char* tab1 = FindChar(name, '\t');
    if (!tab1)
        return 0;
    const char* tab2 = FindChar(tab1 + 1, '\t');
    if (!tab2)
        return 0;
    // Between the two TABs stands the column's number, which the tool does not use.
    char column[kItemPartSize], value[kItemPartSize];
    CopyTextRange(column, sizeof column, name, tab1);
    CopyText(value, sizeof value, tab2 + 1);

    for (size_t i = 0; i < fieldCount; ++i) {
        const FieldLayout& f = fields[i];
        if (std::strcmp(f.column, column) != 0)
            continue;
        char* field = static_cast<char*>(record) + f.offset;
        if (f.kind == FieldKind::Text) {
            AppendText(field, f.size, value);
        } else {
            int32_t v = ParseInteger(value);
            std::memcpy(field, &v, sizeof v);
        }
        return 1;
    }
    return 0;
}
