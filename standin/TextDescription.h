// A readable description of a table: a UTF-8 text of tab-separated lines, the first
// holding the column names. In names and values \t, \n, \r and \\ stand for a TAB, a
// line feed, a carriage return and a backslash, so any text can be described.
#pragma once
#include "Storage.h"

#include <cstddef>
#include <string>

namespace storage {

// false, with a message in *error, when the text is not a valid description (a row
// with another number of fields than the header, bad UTF-8, an unknown escape).
bool ParseTableText(const std::string& utf8, const std::u16string& tableName, Table* out,
                    std::string* error);
std::string TableText(const Table& table);
// One line of a description: the values escaped, tab-separated, with its line feed.
std::string RowText(const std::vector<std::u16string>& values);

std::u16string FromUtf8(const std::string& s, bool* ok = nullptr);
std::string ToUtf8(const std::u16string& s);

// Bytes read in order from the start: a file in dbtool, memory in the tests.
class ByteStream {
public:
    virtual ~ByteStream() = default;
    // Up to cap bytes into out; *got is 0 at the end. False on a read error.
    virtual bool Read(void* out, size_t cap, size_t* got) = 0;
};

class MemoryStream final : public ByteStream {
public:
    explicit MemoryStream(std::string text) : m_text(std::move(text)) {}
    bool Read(void* out, size_t cap, size_t* got) override;

private:
    std::string m_text;
    size_t m_pos = 0;
};

// Writes the table a description describes into w as it is read, once, from the start.
// One line is held at a time, so a description of gigabytes takes no more memory than
// its longest row. The same rules and messages as ParseTableText.
bool WriteTableText(ByteStream& in, const std::u16string& tableName, Writer* w, std::string* error);

}  // namespace storage
