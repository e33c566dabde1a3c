#include "TextDescription.h"

#include <algorithm>

namespace storage {

std::u16string FromUtf8(const std::string& s, bool* ok)
{
    // Never more UTF-16 units than bytes: one allocation, whatever the text.
    std::u16string out;
    out.reserve(s.size());
    bool good = true;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        uint32_t cp;
        size_t n;
        if (c < 0x80) { cp = c; n = 1; }
        else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; n = 2; }
        else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; n = 3; }
        else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; n = 4; }
        else { good = false; ++i; continue; }
        if (i + n > s.size()) { good = false; break; }
        bool seqOk = true;
        for (size_t k = 1; k < n; ++k) {
            unsigned char d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) { seqOk = false; break; }
            cp = (cp << 6) | (d & 0x3F);
        }
        if (!seqOk) { good = false; ++i; continue; }
        i += n;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    if (ok)
        *ok = good;
    return out;
}

std::string ToUtf8(const std::u16string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t cp = s[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

namespace {

// The field [begin, end) with its escapes undone, decoded. raw is scratch space the caller
// keeps from field to field, so that a large table costs one allocation per value.
bool Unescape(const char* begin, const char* end, std::string* raw, std::u16string* out)
{
    raw->clear();
    for (const char* p = begin; p < end; ++p) {
        if (*p != '\\') {
            raw->push_back(*p);
            continue;
        }
        if (++p >= end)
            return false;
        switch (*p) {
        case 't': raw->push_back('\t'); break;
        case 'n': raw->push_back('\n'); break;
        case 'r': raw->push_back('\r'); break;
        case '\\': raw->push_back('\\'); break;
        default: return false;
        }
    }
    bool ok = true;
    *out = FromUtf8(*raw, &ok);
    return ok;
}

std::string Escape(const std::u16string& value)
{
    std::string out;
    for (char c : ToUtf8(value)) {
        switch (c) {
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\\': out += "\\\\"; break;
        default: out.push_back(c);
        }
    }
    return out;
}

}  // namespace

bool ParseTableText(const std::string& utf8, const std::u16string& tableName, Table* out,
                    std::string* error)
{
    // The text is walked in place and each value is allocated once, at its size: under
    // Wine's heap, blocks made and freed again per row made a large table quadratic.
    Table table;
    table.name = tableName;
    const char* text = utf8.data();
    const char* stop = text + utf8.size();
    if (utf8.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text += 3;
    table.rows.reserve(static_cast<size_t>(std::count(text, stop, '\n')));
    std::string raw;
    int lineNo = 0;
    bool header = true;
    while (text < stop) {
        const char* end = std::find(text, stop, '\n');
        const char* lineEnd = (end > text && end[-1] == '\r') ? end - 1 : end;
        const char* line = text;
        text = end == stop ? stop : end + 1;
        ++lineNo;
        if (line == lineEnd && !header)
            continue;  // blank lines between rows are layout, not rows
        std::vector<std::u16string> values;
        values.reserve(header ? static_cast<size_t>(std::count(line, lineEnd, '\t')) + 1 : table.columns.size());
        for (const char* field = line;;) {
            const char* fieldEnd = std::find(field, lineEnd, '\t');
            values.emplace_back();
            if (!Unescape(field, fieldEnd, &raw, &values.back())) {
                *error = "line " + std::to_string(lineNo) + ": bad escape or UTF-8";
                return false;
            }
            if (fieldEnd == lineEnd)
                break;
            field = fieldEnd + 1;
        }
        if (header) {
            table.columns = std::move(values);
            header = false;
        } else if (values.size() != table.columns.size()) {
            *error = "line " + std::to_string(lineNo) + ": " + std::to_string(values.size()) +
                     " fields, the header has " + std::to_string(table.columns.size());
            return false;
        } else {
            table.rows.push_back(std::move(values));
        }
    }
    if (header) {
        *error = "no header line";
        return false;
    }
    *out = std::move(table);
    return true;
}

std::string TableText(const Table& table)
{
    std::string out;
    auto line = [&out](const std::vector<std::u16string>& values) {
        for (size_t i = 0; i < values.size(); ++i) {
            if (i)
                out.push_back('\t');
            out += Escape(values[i]);
        }
        out.push_back('\n');
    };
    line(table.columns);
    for (const auto& row : table.rows)
        line(row);
    return out;
}

}  // namespace storage
