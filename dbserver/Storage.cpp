#include "Storage.h"

#include <cstring>

namespace storage {
namespace {

const char kMagic[8] = {'O', 'R', 'V', 'L', 'M', 'D', 'F', '1'};
const uint32_t kVersion = 1;

void PutU32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutText(std::vector<uint8_t>& out, const std::u16string& s)
{
    PutU32(out, static_cast<uint32_t>(s.size()));
    for (char16_t c : s) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
}

uint32_t GetU32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Reads the payload, every length checked against what is left, so that a damaged
// file can never make the server read past it or allocate without bound.
class Reader {
public:
    Reader(const uint8_t* p, size_t n) : m_p(p), m_left(n) {}
    bool U32(uint32_t* v)
    {
        if (m_left < 4)
            return false;
        *v = GetU32(m_p);
        m_p += 4;
        m_left -= 4;
        return true;
    }
    bool Text(std::u16string* s)
    {
        uint32_t n;
        if (!U32(&n) || n > m_left / 2)
            return false;
        s->resize(n);
        for (uint32_t i = 0; i < n; ++i)
            (*s)[i] = static_cast<char16_t>(m_p[2 * i] | m_p[2 * i + 1] << 8);
        m_p += 2 * size_t(n);
        m_left -= 2 * size_t(n);
        return true;
    }
    // A count of items each at least minBytes long cannot exceed what is left.
    bool Count(uint32_t* n, size_t minBytes)
    {
        return U32(n) && (minBytes == 0 || *n <= m_left / minBytes);
    }
    size_t Left() const { return m_left; }

private:
    const uint8_t* m_p;
    size_t m_left;
};

uint32_t g_table[256];
bool g_tableReady = false;

void MakeTable()
{
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        g_table[i] = c;
    }
    g_tableReady = true;
}

ParseResult CheckHeader(const uint8_t* data, size_t size, const uint8_t** payload, size_t* length)
{
    if (size < kHeaderSize || std::memcmp(data, kMagic, 8) != 0 || GetU32(data + 8) != kVersion)
        return ParseResult::NotADatabase;
    uint32_t len = GetU32(data + 12);
    if (len != size - kHeaderSize)
        return ParseResult::Corrupt;
    if (Crc32(data + kHeaderSize, len) != GetU32(data + 16))
        return ParseResult::Corrupt;
    *payload = data + kHeaderSize;
    *length = len;
    return ParseResult::Ok;
}

}  // namespace

const Table* Database::Find(const std::u16string& name) const
{
    for (const Table& t : tables)
        if (t.name == name)
            return &t;
    return nullptr;
}

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc)
{
    if (!g_tableReady)
        MakeTable();
    crc = ~crc;
    for (size_t i = 0; i < size; ++i)
        crc = g_table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::vector<uint8_t> Serialize(const Database& db)
{
    std::vector<uint8_t> payload;
    PutU32(payload, static_cast<uint32_t>(db.tables.size()));
    for (const Table& t : db.tables) {
        PutText(payload, t.name);
        PutU32(payload, static_cast<uint32_t>(t.columns.size()));
        for (const std::u16string& c : t.columns)
            PutText(payload, c);
        // Rows of a table without columns hold nothing; none are written.
        PutU32(payload, t.columns.empty() ? 0 : static_cast<uint32_t>(t.rows.size()));
        if (!t.columns.empty())
            for (const auto& row : t.rows)
                for (size_t c = 0; c < t.columns.size(); ++c)
                    PutText(payload, c < row.size() ? row[c] : std::u16string());
    }
    std::vector<uint8_t> out(kMagic, kMagic + 8);
    PutU32(out, kVersion);
    PutU32(out, static_cast<uint32_t>(payload.size()));
    PutU32(out, Crc32(payload.data(), payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

ParseResult Verify(const uint8_t* data, size_t size)
{
    const uint8_t* payload;
    size_t length;
    return CheckHeader(data, size, &payload, &length);
}

ParseResult Parse(const uint8_t* data, size_t size, Database* out)
{
    const uint8_t* payload;
    size_t length;
    ParseResult r = CheckHeader(data, size, &payload, &length);
    if (r != ParseResult::Ok)
        return r;
    Reader in(payload, length);
    Database db;
    uint32_t tables;
    if (!in.Count(&tables, 12))
        return ParseResult::Corrupt;
    for (uint32_t t = 0; t < tables; ++t) {
        Table table;
        uint32_t columns, rows;
        if (!in.Text(&table.name) || !in.Count(&columns, 4))
            return ParseResult::Corrupt;
        table.columns.resize(columns);
        for (uint32_t c = 0; c < columns; ++c)
            if (!in.Text(&table.columns[c]))
                return ParseResult::Corrupt;
        if (!in.U32(&rows))
            return ParseResult::Corrupt;
        // Every value takes at least its 4-byte length; rows without columns are never
        // written, so a count of them is damage, not data.
        if (columns == 0 ? rows != 0 : uint64_t(rows) * columns > in.Left() / 4)
            return ParseResult::Corrupt;
        table.rows.resize(rows);
        for (uint32_t r2 = 0; r2 < rows; ++r2) {
            table.rows[r2].resize(columns);
            for (uint32_t c = 0; c < columns; ++c)
                if (!in.Text(&table.rows[r2][c]))
                    return ParseResult::Corrupt;
        }
        db.tables.push_back(std::move(table));
    }
    if (in.Left() != 0)
        return ParseResult::Corrupt;
    *out = std::move(db);
    return ParseResult::Ok;
}

}  // namespace storage
