#include "Storage.h"

#include <algorithm>
#include <cstring>

namespace storage {
namespace {

const char kMagic[8] = {'O', 'R', 'V', 'L', 'M', 'D', 'F', '1'};
const uint32_t kVersion = 1;
// What the catalogue walk and the row reader keep of the file at a time.
const size_t kCursorBuffer = 256u << 10;

uint32_t GetU32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void SetU32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// CRC-32 tables for sixteen bytes at a time (slicing by 16), where the processor cannot
// fold (below).
struct CrcTables {
    uint32_t t[16][256];
    CrcTables()
    {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (int k = 1; k < 16; ++k)
                t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    }
};
const CrcTables& Tables()
{
    static const CrcTables tables;
    return tables;
}

// The checksum's register (not inverted) carried over n bytes, sixteen at a time.
uint32_t TableCrc(const uint8_t* p, size_t n, uint32_t crc)
{
    const auto& t = Tables().t;
    while (n >= 16) {
        uint32_t a = GetU32(p) ^ crc, b = GetU32(p + 4), c = GetU32(p + 8), d = GetU32(p + 12);
        crc = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
              t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^
              t[7][c & 0xFF] ^ t[6][(c >> 8) & 0xFF] ^ t[5][(c >> 16) & 0xFF] ^ t[4][c >> 24] ^
              t[3][d & 0xFF] ^ t[2][(d >> 8) & 0xFF] ^ t[1][(d >> 16) & 0xFF] ^ t[0][d >> 24];
        p += 16;
        n -= 16;
    }
    while (n--)
        crc = t[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return crc;
}


// Multiplication modulo the checksum's polynomial, bit-reflected (x^0 is the top bit).
uint32_t MultiplyModP(uint32_t a, uint32_t b)
{
    uint32_t product = 0;
    for (uint32_t m = 0x80000000u; m; m >>= 1) {
        if (a & m)
            product ^= b;
        b = (b & 1) ? (b >> 1) ^ 0xEDB88320u : b >> 1;
    }
    return product;
}

// What changing four bytes at `at` of a payload of `length` bytes from zeros to `bytes`
// does to its checksum: the checksum is linear, so the change is the register of those
// bytes alone carried over the zeros after them, x^(8 * zeros) mod P.
uint32_t ChecksumChange(const uint8_t bytes[4], uint64_t at, uint64_t length)
{
    uint32_t change = TableCrc(bytes, 4, 0);
    uint32_t power = 0x00800000u;  // x^8
    for (uint64_t zeros = length - at - 4; zeros; zeros >>= 1) {
        if (zeros & 1)
            change = MultiplyModP(change, power);
        power = MultiplyModP(power, power);
    }
    return change;
}

// Reads the payload through a buffer at 64-bit offsets, every length checked against
// what is left before anything is read or reserved for it.
class Cursor {
public:
    Cursor(Source& in, uint64_t pos, uint64_t end) : m_in(in), m_pos(pos), m_end(end) {}
    uint64_t Pos() const { return m_pos; }
    uint64_t Left() const { return m_end - m_pos; }
    ParseResult Result() const { return m_result; }
    void Seek(uint64_t pos) { m_pos = pos; }
    bool Fail(ParseResult r)
    {
        if (m_result == ParseResult::Ok)
            m_result = r;
        return false;
    }

    bool Bytes(void* out, uint64_t n)
    {
        if (n > Left())
            return Fail(ParseResult::Corrupt);
        uint8_t* to = static_cast<uint8_t*>(out);
        while (n > 0) {
            if (m_pos >= m_bufStart && m_pos < m_bufStart + m_buf.size()) {
                size_t at = static_cast<size_t>(m_pos - m_bufStart);
                size_t take = static_cast<size_t>(std::min<uint64_t>(n, m_buf.size() - at));
                std::memcpy(to, m_buf.data() + at, take);
                to += take;
                m_pos += take;
                n -= take;
            } else if (n >= kCursorBuffer) {
                // A large value goes straight to its place.
                if (!m_in.ReadAt(m_pos, to, static_cast<size_t>(n)))
                    return Fail(ParseResult::ReadFailed);
                m_pos += n;
                n = 0;
            } else {
                size_t fill = static_cast<size_t>(std::min<uint64_t>(kCursorBuffer, Left()));
                m_buf.resize(fill);
                if (!m_in.ReadAt(m_pos, m_buf.data(), fill)) {
                    m_buf.clear();
                    return Fail(ParseResult::ReadFailed);
                }
                m_bufStart = m_pos;
            }
        }
        return true;
    }
    bool U32(uint32_t* v)
    {
        uint8_t b[4];
        if (!Bytes(b, 4))
            return false;
        *v = GetU32(b);
        return true;
    }
    // A count of items each at least minBytes long cannot exceed what is left.
    bool Count(uint32_t* n, uint64_t minBytes) { return U32(n) && (minBytes == 0 || *n <= Left() / minBytes || Fail(ParseResult::Corrupt)); }
    // A text's length in bytes, checked against what is left.
    bool TextBytes(uint64_t* bytes)
    {
        uint32_t n;
        if (!U32(&n))
            return false;
        *bytes = 2 * uint64_t(n);
        return *bytes <= Left() || Fail(ParseResult::Corrupt);
    }
    bool Text(std::u16string* s)
    {
        uint64_t bytes;
        if (!TextBytes(&bytes))
            return false;
        s->resize(static_cast<size_t>(bytes / 2));
        // UTF-16 little-endian on disk, as in memory on every machine the stand-in runs on.
        return bytes == 0 || Bytes(&(*s)[0], bytes);
    }
    bool SkipText()
    {
        uint64_t bytes;
        if (!TextBytes(&bytes))
            return false;
        m_pos += bytes;
        return true;
    }

private:
    Source& m_in;
    uint64_t m_pos;
    uint64_t m_end;
    std::vector<uint8_t> m_buf;
    uint64_t m_bufStart = 0;
    ParseResult m_result = ParseResult::Ok;
};

}  // namespace

const Table* Database::Find(const std::u16string& name) const
{
    for (const Table& t : tables)
        if (t.name == name)
            return &t;
    return nullptr;
}

uint32_t Crc32(const uint8_t* p, size_t n, uint32_t crc)
{
    return ~TableCrc(p, n, ~crc);
}


bool MemorySource::ReadAt(uint64_t offset, void* out, size_t n)
{
    if (offset > m_size || n > m_size - offset)
        return false;
    std::memcpy(out, m_data + offset, n);
    return true;
}

bool MemorySink::Write(const void* data, size_t n)
{
    const uint8_t* p = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + n);
    return true;
}

bool MemorySink::WriteAt(uint64_t offset, const void* data, size_t n)
{
    if (offset + n > bytes.size())
        bytes.resize(static_cast<size_t>(offset + n));
    std::memcpy(bytes.data() + offset, data, n);
    return true;
}

ParseResult ReadHeader(Source& in, Header* out)
{
    uint8_t h[kHeaderSize];
    if (in.Size() < kHeaderSize)
        return ParseResult::NotADatabase;
    if (!in.ReadAt(0, h, kHeaderSize))
        return ParseResult::ReadFailed;
    if (std::memcmp(h, kMagic, 8) != 0 || GetU32(h + 8) != kVersion)
        return ParseResult::NotADatabase;
    out->payloadLength = GetU32(h + 12);
    out->crc = GetU32(h + 16);
    if (out->payloadLength != in.Size() - kHeaderSize)
        return ParseResult::Corrupt;
    return ParseResult::Ok;
}

ParseResult VerifyChecksum(Source& in, const Header& header)
{
    std::vector<uint8_t> chunk(static_cast<size_t>(std::min<uint64_t>(kChunkSize, header.payloadLength)));
    uint32_t crc = 0;
    for (uint64_t at = 0; at < header.payloadLength;) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(chunk.size(), header.payloadLength - at));
        if (!in.ReadAt(kHeaderSize + at, chunk.data(), n))
            return ParseResult::ReadFailed;
        crc = Crc32(chunk.data(), n, crc);
        at += n;
    }
    return crc == header.crc ? ParseResult::Ok : ParseResult::Corrupt;
}

ParseResult ReadCatalogue(Source& in, const Header& header, std::vector<TableInfo>* tables)
{
    Cursor c(in, kHeaderSize, kHeaderSize + header.payloadLength);
    std::vector<TableInfo> found;
    uint32_t count;
    if (!c.Count(&count, 12))
        return c.Result();
    for (uint32_t t = 0; t < count; ++t) {
        TableInfo info;
        uint32_t columns;
        if (!c.Text(&info.name) || !c.Count(&columns, 4))
            return c.Result();
        info.columns.resize(columns);
        for (uint32_t k = 0; k < columns; ++k)
            if (!c.Text(&info.columns[k]))
                return c.Result();
        if (!c.U32(&info.rowCount))
            return c.Result();
        // Every value takes at least its 4-byte length; rows without columns are never
        // written, so a count of them is damage, not data.
        if (columns == 0 ? info.rowCount != 0 : uint64_t(info.rowCount) * columns > c.Left() / 4)
            return ParseResult::Corrupt;
        info.rowsBegin = c.Pos();
        for (uint64_t v = uint64_t(info.rowCount) * columns; v > 0; --v)
            if (!c.SkipText())
                return c.Result();
        info.rowsEnd = c.Pos();
        found.push_back(std::move(info));
    }
    if (c.Left() != 0)
        return ParseResult::Corrupt;
    *tables = std::move(found);
    return ParseResult::Ok;
}

ParseResult OpenDatabase(Source& in, std::vector<TableInfo>* tables)
{
    Header header;
    ParseResult r = ReadHeader(in, &header);
    if (r == ParseResult::Ok)
        r = VerifyChecksum(in, header);
    return r == ParseResult::Ok ? ReadCatalogue(in, header, tables) : r;
}

struct RowReader::State {
    TableInfo table;
    Cursor cursor;
    std::vector<uint64_t> marks;  // offset of row k * kRowsPerMark, as far as reached
    uint32_t next = 0;            // the row that starts at nextOffset
    uint64_t nextOffset;

    // The cursor stands at the start of row `at`: noted if it is a mark not yet known.
    void Note(uint32_t at)
    {
        if (at % kRowsPerMark == 0 && at / kRowsPerMark == marks.size())
            marks.push_back(cursor.Pos());
    }
};

RowReader::RowReader(Source& in, const TableInfo& table)
    : m_state(new State{table, Cursor(in, table.rowsBegin, table.rowsEnd), {table.rowsBegin}, 0, table.rowsBegin})
{
}

RowReader::~RowReader() = default;

ParseResult RowReader::Read(uint32_t row, std::vector<std::u16string>* values)
{
    State& s = *m_state;
    if (row >= s.table.rowCount)
        return ParseResult::Corrupt;
    uint32_t at;
    if (row >= s.next && row - s.next < kRowsPerMark) {
        at = s.next;
        s.cursor.Seek(s.nextOffset);
    } else {
        size_t mark = std::min<size_t>(row / kRowsPerMark, s.marks.size() - 1);
        at = static_cast<uint32_t>(mark * kRowsPerMark);
        s.cursor.Seek(s.marks[mark]);
    }
    const size_t columns = s.table.columns.size();
    for (; at < row; ++at) {
        s.Note(at);
        for (size_t k = 0; k < columns; ++k)
            if (!s.cursor.SkipText())
                return s.cursor.Result();
    }
    s.Note(row);
    values->resize(columns);
    for (size_t k = 0; k < columns; ++k)
        if (!s.cursor.Text(&(*values)[k]))
            return s.cursor.Result();
    s.next = row + 1;
    s.nextOffset = s.cursor.Pos();
    return ParseResult::Ok;
}

Writer::Writer(Sink& out) : m_out(out)
{
    // The header is written again by Finish, with the length and checksum.
    uint8_t header[kHeaderSize] = {};
    std::memcpy(header, kMagic, 8);
    SetU32(header + 8, kVersion);
    m_failed = !m_out.Write(header, sizeof header);
}

Writer::~Writer() = default;

bool Writer::Put(const void* data, size_t n)
{
    const uint8_t* p = static_cast<const uint8_t*>(data);
    while (!m_failed && n > 0) {
        size_t take = std::min(n, kChunkSize - m_buffer.size());
        m_buffer.insert(m_buffer.end(), p, p + take);
        p += take;
        n -= take;
        m_payload += take;
        if (m_buffer.size() == kChunkSize)
            Flush();
    }
    return !m_failed;
}

bool Writer::Flush()
{
    if (m_failed)
        return false;
    m_crc = Crc32(m_buffer.data(), m_buffer.size(), m_crc);
    m_failed = !m_buffer.empty() && !m_out.Write(m_buffer.data(), m_buffer.size());
    m_buffer.clear();
    return !m_failed;
}

bool Writer::PutU32(uint32_t v)
{
    uint8_t b[4];
    SetU32(b, v);
    return Put(b, 4);
}

bool Writer::PutText(const std::u16string& s)
{
    // UTF-16 little-endian on disk, as in memory on every machine the stand-in runs on.
    return PutU32(static_cast<uint32_t>(s.size())) && Put(s.data(), 2 * s.size());
}

bool Writer::Start(uint32_t tableCount)
{
    if (m_started)
        m_failed = true;
    m_started = true;
    m_tablesLeft = tableCount;
    return PutU32(tableCount);
}

bool Writer::BeginTable(const std::u16string& name, const std::vector<std::u16string>& columns, uint32_t rowCount)
{
    // Rows of a table without columns hold nothing; none are written.
    if (!m_started || m_tablesLeft == 0 || m_rowsLeft != 0 || m_counting || columns.size() > 0xFFFFFFFFu ||
        (columns.empty() && rowCount != 0))
        m_failed = true;
    --m_tablesLeft;
    if (!PutText(name) || !PutU32(static_cast<uint32_t>(columns.size())))
        return false;
    for (const std::u16string& c : columns)
        if (!PutText(c))
            return false;
    m_rowsLeft = rowCount;
    m_columns = columns.size();
    return PutU32(rowCount);
}

bool Writer::BeginTable(const std::u16string& name, const std::vector<std::u16string>& columns)
{
    if (columns.empty())
        m_failed = true;  // its rows would hold nothing to count
    if (!BeginTable(name, columns, 0))
        return false;
    m_counting = true;
    m_counted = 0;
    m_countAt = m_payload - 4;
    return true;
}

bool Writer::EndTable()
{
    if (!m_counting)
        m_failed = true;
    else if (m_counted)
        m_counts.push_back({m_countAt, m_counted});
    m_counting = false;
    return !m_failed;
}

bool Writer::Row(const std::vector<std::u16string>& values)
{
    if (values.size() != m_columns)
        m_failed = true;
    if (m_counting)
        m_failed = m_failed || m_counted++ == 0xFFFFFFFFu;
    else if (m_rowsLeft-- == 0)
        m_failed = true;
    for (const std::u16string& v : values)
        if (!PutText(v))
            return false;
    return !m_failed;
}

bool Writer::Finish()
{
    if (!m_started || m_tablesLeft != 0 || m_rowsLeft != 0 || m_counting || m_payload > kMaxPayload)
        m_failed = true;
    if (!Flush())
        return false;
    for (const Count& c : m_counts) {
        uint8_t rows[4];
        SetU32(rows, c.rows);
        m_crc ^= ChecksumChange(rows, c.at, m_payload);
        if (!m_out.WriteAt(kHeaderSize + c.at, rows, sizeof rows)) {
            m_failed = true;
            return false;
        }
    }
    uint8_t header[kHeaderSize];
    std::memcpy(header, kMagic, 8);
    SetU32(header + 8, kVersion);
    SetU32(header + 12, static_cast<uint32_t>(m_payload));
    SetU32(header + 16, m_crc);
    m_failed = !m_out.WriteAt(0, header, sizeof header);
    return !m_failed;
}

std::vector<uint8_t> Serialize(const Database& db)
{
    MemorySink sink;
    Writer w(sink);
    w.Start(static_cast<uint32_t>(db.tables.size()));
    std::vector<std::u16string> padded;
    for (const Table& t : db.tables) {
        w.BeginTable(t.name, t.columns, t.columns.empty() ? 0 : static_cast<uint32_t>(t.rows.size()));
        if (t.columns.empty())
            continue;
        for (const auto& row : t.rows) {
            if (row.size() == t.columns.size()) {
                w.Row(row);
            } else {
                padded = row;
                padded.resize(t.columns.size());
                w.Row(padded);
            }
        }
    }
    w.Finish();
    return sink.bytes;
}

ParseResult Verify(const uint8_t* data, size_t size)
{
    MemorySource in(data, size);
    Header header;
    ParseResult r = ReadHeader(in, &header);
    return r == ParseResult::Ok ? VerifyChecksum(in, header) : r;
}

ParseResult Parse(const uint8_t* data, size_t size, Database* out)
{
    MemorySource in(data, size);
    std::vector<TableInfo> tables;
    ParseResult r = OpenDatabase(in, &tables);
    if (r != ParseResult::Ok)
        return r;
    Database db;
    for (const TableInfo& info : tables) {
        Table table;
        table.name = info.name;
        table.columns = info.columns;
        table.rows.resize(info.rowCount);
        RowReader rows(in, info);
        for (uint32_t i = 0; i < info.rowCount; ++i)
            if ((r = rows.Read(i, &table.rows[i])) != ParseResult::Ok)
                return r;
        db.tables.push_back(std::move(table));
    }
    *out = std::move(db);
    return ParseResult::Ok;
}

}  // namespace storage
