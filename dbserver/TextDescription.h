// A readable description of a table: a UTF-8 text of tab-separated lines, the first
// holding the column names. In names and values \t, \n, \r and \\ stand for a TAB, a
// line feed, a carriage return and a backslash, so any text can be described.
#pragma once
#include "Storage.h"

#include <string>

namespace storage {

// false, with a message in *error, when the text is not a valid description (a row
// with another number of fields than the header, bad UTF-8, an unknown escape).
bool ParseTableText(const std::string& utf8, const std::u16string& tableName, Table* out,
                    std::string* error);
std::string TableText(const Table& table);

std::u16string FromUtf8(const std::string& s, bool* ok = nullptr);
std::string ToUtf8(const std::u16string& s);

}  // namespace storage
