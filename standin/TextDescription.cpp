#include "TextDescription.h"

#include <algorithm>
#include <cstring>

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

// The first c in [begin, end), or end.
const char* Find(const char* begin, const char* end, char c)
{
    const void* at = std::memchr(begin, c, static_cast<size_t>(end - begin));
    return at ? static_cast<const char*>(at) : end;
}

// Widens the plain ASCII at the start of [p, end) (no escape, nothing multi-byte) into o:
// how many bytes it took. Most of a large description is such text.
size_t WidenPlain(const char* p, const char* end, char16_t* o)
{
    const char* q = p;
    for (; q < end && static_cast<unsigned char>(*q) < 0x80 && *q != '\\'; ++q)
        *o++ = static_cast<unsigned char>(*q);
    return static_cast<size_t>(q - p);
}

// The field [begin, end) with its escapes undone and its UTF-8 decoded, into *out (its
// room kept from row to row, so a large table costs no allocation per value).
bool Decode(const char* begin, const char* end, std::u16string* out)
{
    // Never more units than bytes: written through a pointer, cut to size at the end.
    out->resize(static_cast<size_t>(end - begin));
    char16_t* const first = out->empty() ? nullptr : &(*out)[0];
    char16_t* o = first;
    for (const char* p = begin; p < end;) {
        const size_t plain = WidenPlain(p, end, o);
        p += plain;
        o += plain;
        if (p == end)
            break;
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '\\') {
            if (++p >= end)
                return false;
            switch (*p++) {
            case 't': *o++ = u'\t'; break;
            case 'n': *o++ = u'\n'; break;
            case 'r': *o++ = u'\r'; break;
            case '\\': *o++ = u'\\'; break;
            default: return false;
            }
            continue;
        }
        uint32_t cp;
        size_t n;
        if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; n = 2; }
        else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; n = 3; }
        else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; n = 4; }
        else return false;
        if (static_cast<size_t>(end - p) < n)
            return false;
        for (size_t k = 1; k < n; ++k) {
            unsigned char d = static_cast<unsigned char>(p[k]);
            if ((d & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        p += n;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            *o++ = static_cast<char16_t>(0xD800 + (cp >> 10));
            *o++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            *o++ = static_cast<char16_t>(cp);
        }
    }
    out->resize(static_cast<size_t>(o - first));
    return true;
}

// One line's tab-separated fields into *values (resized, their room reused).
bool SplitLine(const char* line, const char* lineEnd, std::vector<std::u16string>* values)
{
    size_t n = 0;
    for (const char* field = line;;) {
        const char* fieldEnd = Find(field, lineEnd, '\t');
        if (values->size() <= n)
            values->emplace_back();
        if (!Decode(field, fieldEnd, &(*values)[n++]))
            return false;
        if (fieldEnd == lineEnd)
            break;
        field = fieldEnd + 1;
    }
    values->resize(n);
    return true;
}

std::string LineError(int lineNo, const std::string& what) { return "line " + std::to_string(lineNo) + ": " + what; }
std::string FieldCountError(int lineNo, size_t fields, size_t columns)
{
    return LineError(lineNo, std::to_string(fields) + " fields, the header has " + std::to_string(columns));
}

// The lines of a stream, one at a time, without their line feed and carriage return.
class LineReader {
public:
    // Reads start small and grow to kChunkSize while the stream fills them.
    explicit LineReader(ByteStream& in) : m_in(in), m_chunk(4096) {}
    bool Failed() const { return m_failed; }
    bool Next(const char** begin, const char** end)
    {
        bool carried = false;
        m_line.clear();
        for (;;) {
            if (m_pos == m_len) {
                // A text that is a byte-order mark alone has no lines at all.
                if (m_eof || m_failed)
                    return carried && !(m_first && m_line == "\xEF\xBB\xBF") &&
                           Give(m_line.data(), m_line.data() + m_line.size(), begin, end);
                if (m_len == m_chunk.size() && m_chunk.size() < kChunkSize)
                    m_chunk.resize(m_chunk.size() * 4);
                size_t got = 0;
                if (!m_in.Read(m_chunk.data(), m_chunk.size(), &got)) {
                    m_failed = true;
                    return false;
                }
                m_eof = got == 0;
                m_pos = 0;
                m_len = got;
                continue;
            }
            const char* start = m_chunk.data() + m_pos;
            const char* stop = m_chunk.data() + m_len;
            const char* nl = Find(start, stop, '\n');
            if (nl != stop && !carried) {
                m_pos = static_cast<size_t>(nl - m_chunk.data()) + 1;
                return Give(start, nl, begin, end);
            }
            m_line.append(start, nl);
            carried = true;
            m_pos = nl == stop ? m_len : static_cast<size_t>(nl - m_chunk.data()) + 1;
            if (nl != stop)
                return Give(m_line.data(), m_line.data() + m_line.size(), begin, end);
        }
    }

private:
    bool Give(const char* b, const char* e, const char** begin, const char** end)
    {
        if (m_first && e - b >= 3 && std::equal(b, b + 3, "\xEF\xBB\xBF"))
            b += 3;
        m_first = false;
        if (e > b && e[-1] == '\r')
            --e;
        *begin = b;
        *end = e;
        return true;
    }
    ByteStream& m_in;
    std::vector<char> m_chunk;
    size_t m_pos = 0, m_len = 0;
    std::string m_line;
    bool m_eof = false, m_failed = false, m_first = true;
};

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

// Walks a description a line at a time: its header to onHeader, each row to onRow,
// blank lines between rows passed over. False at the first mistake, with its message in
// *error, or when a callback answers false (having said why in *error).
template <class OnHeader, class OnRow>
bool WalkDescription(ByteStream& in, std::string* error, OnHeader onHeader, OnRow onRow)
{
    LineReader lines(in);
    const char *line, *lineEnd;
    std::vector<std::u16string> values;
    size_t columns = 0;
    int lineNo = 0;
    bool header = true;
    while (lines.Next(&line, &lineEnd)) {
        ++lineNo;
        if (line == lineEnd && !header)
            continue;  // blank lines between rows are layout, not rows
        if (!SplitLine(line, lineEnd, &values)) {
            *error = LineError(lineNo, "bad escape or UTF-8");
            return false;
        }
        if (header) {
            header = false;
            columns = values.size();
            if (!onHeader(values))
                return false;
        } else if (values.size() != columns) {
            *error = FieldCountError(lineNo, values.size(), columns);
            return false;
        } else if (!onRow(values)) {
            return false;
        }
    }
    if (lines.Failed()) {
        *error = "cannot read the description";
        return false;
    }
    if (header) {
        *error = "no header line";
        return false;
    }
    return true;
}

}  // namespace

bool MemoryStream::Read(void* out, size_t cap, size_t* got)
{
    *got = std::min(cap, m_text.size() - m_pos);
    m_text.copy(static_cast<char*>(out), *got, m_pos);
    m_pos += *got;
    return true;
}

bool ParseTableText(const std::string& utf8, const std::u16string& tableName, Table* out,
                    std::string* error)
{
    MemoryStream in(utf8);
    Table table;
    table.name = tableName;
    auto onHeader = [&](const std::vector<std::u16string>& columns) {
        table.columns = columns;
        return true;
    };
    auto onRow = [&](const std::vector<std::u16string>& row) {
        table.rows.push_back(row);
        return true;
    };
    if (!WalkDescription(in, error, onHeader, onRow))
        return false;
    *out = std::move(table);
    return true;
}

bool WriteTableText(ByteStream& in, const std::u16string& tableName, Writer* w, std::string* error)
{
    // Read once: the rows are counted as they are written, and their number put in front
    // of them when the text ends.
    uint64_t rows = 0;
    auto onHeader = [&](const std::vector<std::u16string>& columns) {
        if (w->BeginTable(tableName, columns))
            return true;
        *error = "cannot write the table";
        return false;
    };
    auto onRow = [&](const std::vector<std::u16string>& row) {
        if (++rows > 0xFFFFFFFFu)
            *error = "more rows than a table holds";
        else if (!w->Row(row))
            *error = "cannot write the table";
        else
            return true;
        return false;
    };
    if (!WalkDescription(in, error, onHeader, onRow))
        return false;
    if (!w->EndTable()) {
        *error = "cannot write the table";
        return false;
    }
    return true;
}

std::string RowText(const std::vector<std::u16string>& values)
{
    std::string out;
    for (size_t i = 0; i < values.size(); ++i) {
        if (i)
            out.push_back('\t');
        out += Escape(values[i]);
    }
    out.push_back('\n');
    return out;
}

std::string TableText(const Table& table)
{
    std::string out = RowText(table.columns);
    for (const auto& row : table.rows)
        out += RowText(row);
    return out;
}

}  // namespace storage
