// The stand-in server's database file and its readable description.
#include "Storage.h"
#include "TextDescription.h"

#include <gtest/gtest.h>

#include <algorithm>

using storage::Database;
using storage::ParseResult;
using storage::Table;

namespace {
Database Sample()
{
    Database db;
    Table t;
    t.name = u"BookShelfTBL";
    t.columns = {u"T_Index", u"BookShelfName"};
    t.rows = {{u"1", u"\u672c\u793e\u68da"}, {u"2", u"tab\there\nline"}, {u"3", u""}};
    db.tables.push_back(t);
    Table empty;
    empty.name = u"Empty";
    empty.columns = {u"A"};
    db.tables.push_back(empty);
    return db;
}
}  // namespace

TEST(Storage, RoundTripKeepsEveryValue)
{
    Database in = Sample();
    std::vector<uint8_t> bytes = storage::Serialize(in);
    Database out;
    ASSERT_EQ(ParseResult::Ok, storage::Parse(bytes.data(), bytes.size(), &out));
    ASSERT_EQ(2u, out.tables.size());
    EXPECT_EQ(in.tables[0].rows, out.tables[0].rows);
    EXPECT_EQ(in.tables[0].columns, out.tables[0].columns);
    EXPECT_TRUE(out.tables[1].rows.empty());
    EXPECT_EQ(bytes, storage::Serialize(out));
    EXPECT_NE(nullptr, out.Find(u"Empty"));
    EXPECT_EQ(nullptr, out.Find(u"empty"));
}

TEST(Storage, EveryDamageIsNoticed)
{
    std::vector<uint8_t> good = storage::Serialize(Sample());
    // Every single-byte change and every truncation of the file is refused.
    for (size_t i = 0; i < good.size(); ++i) {
        std::vector<uint8_t> bad = good;
        bad[i] ^= 0x01;
        Database out;
        ASSERT_NE(ParseResult::Ok, storage::Parse(bad.data(), bad.size(), &out)) << "byte " << i;
        ASSERT_NE(ParseResult::Ok, storage::Parse(good.data(), i, &out)) << "cut at " << i;
    }
    const char text[] = "ORVLMDF2 something else";
    EXPECT_EQ(ParseResult::NotADatabase, storage::Verify(reinterpret_cast<const uint8_t*>(text), sizeof text));
}

// The format's CRC-32 (its check value), the same whether taken whole or carried on
// from the checksum of the bytes before, at every length and alignment around the
// tables' 16-byte steps, as the writer takes it chunk by chunk.
TEST(Storage, ChecksumCarriedOnAsWhole)
{
    EXPECT_EQ(0xCBF43926u, storage::Crc32(reinterpret_cast<const uint8_t*>("123456789"), 9));
    std::vector<uint8_t> bytes((1u << 20) + 100);
    uint32_t seed = 1;
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
    const size_t lengths[] = {0, 1, 15, 16, 17, 63, 64, 65, 1000, 1u << 20};
    for (size_t n : lengths)
        for (size_t at : {0u, 1u, 7u, 15u})
            for (size_t split : {size_t(0), n / 3, n})
                ASSERT_EQ(storage::Crc32(bytes.data() + at, n),
                          storage::Crc32(bytes.data() + at + split, n - split, storage::Crc32(bytes.data() + at, split)))
                    << n << " bytes at " << at << " split at " << split;
}

TEST(Storage, LengthsThatExceedTheFileAreRefusedBeforeAllocating)
{
    // A payload that claims four billion tables, or a text longer than the file, with a
    // valid checksum: refused without reading past the end or reserving memory for them.
    auto withPayload = [](std::vector<uint8_t> payload) {
        std::vector<uint8_t> out = {'O', 'R', 'V', 'L', 'M', 'D', 'F', '1', 1, 0, 0, 0};
        uint32_t n = static_cast<uint32_t>(payload.size()), crc = storage::Crc32(payload.data(), payload.size());
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(n >> (8 * i)));
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(crc >> (8 * i)));
        out.insert(out.end(), payload.begin(), payload.end());
        return out;
    };
    const std::vector<uint8_t> payloads[] = {
        /* 0 */ {0xFF, 0xFF, 0xFF, 0xFF},
        /* 1 */ {1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F},
        /* 2 */ {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0},          // rows without columns
        /* 3 */ {1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x0F},
        /* 4 */ {0, 0, 0, 0, 7},                                             // bytes after the last table
    };
    for (size_t i = 0; i < sizeof payloads / sizeof payloads[0]; ++i) {
        std::vector<uint8_t> file = withPayload(payloads[i]);
        Database out;
        EXPECT_EQ(ParseResult::Corrupt, storage::Parse(file.data(), file.size(), &out)) << "case " << i;
    }
}

TEST(TextDescription, TabsLineBreaksAndBackslashesSurvive)
{
    const std::string text =
        "\xEF\xBB\xBFT_Index\tBookShelfName\r\n"
        "1\t\xE6\x9C\xAC\xE7\xA4\xBE\xE6\xA3\x9A\r\n"   // 本社棚
        "2\ttab\\there\\nline\\\\end\n"
        "\n"
        "3\t\n"
        // Plain runs around sixteen bytes, broken by an escape, a character of three bytes
        // and a backslash.
        "4\t" + std::string(15, 'a') + "\\t" + std::string(17, 'b') + "\xE6\x9C\xAC" + std::string(40, 'c') +
        "\\\\" + std::string(16, 'd') + "\n";
    Table t;
    std::string error;
    ASSERT_TRUE(storage::ParseTableText(text, u"BookShelfTBL", &t, &error)) << error;
    ASSERT_EQ(4u, t.rows.size());
    EXPECT_EQ(u"\u672c\u793e\u68da", t.rows[0][1]);
    EXPECT_EQ(u"tab\there\nline\\end", t.rows[1][1]);
    EXPECT_EQ(u"", t.rows[2][1]);
    EXPECT_EQ(std::u16string(15, u'a') + u"\t" + std::u16string(17, u'b') + u"\u672c" + std::u16string(40, u'c') + u"\\" +
                  std::u16string(16, u'd'),
              t.rows[3][1]);
    Table again;
    ASSERT_TRUE(storage::ParseTableText(storage::TableText(t), u"BookShelfTBL", &again, &error));
    EXPECT_EQ(t.rows, again.rows);
}

TEST(TextDescription, MistakesAreReportedWithTheirLine)
{
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        /* 0 */ {"A\tB\n1\n", "line 2: 1 fields, the header has 2"},
        /* 1 */ {"A\n\\x\n", "line 2: bad escape or UTF-8"},
        /* 2 */ {"A\n\xFF\n", "line 2: bad escape or UTF-8"},
        /* 3 */ {"", "no header line"},
    };
    for (const Case& c : cases) {
        Table t;
        std::string error;
        EXPECT_FALSE(storage::ParseTableText(c.text, u"T", &t, &error));
        EXPECT_EQ(c.error, error);
    }
}

namespace {

// A file of any size made up of pieces, without holding it: a piece is its bytes, or a
// count of one UTF-16 unit repeated.
class PieceSource final : public storage::Source {
public:
    void Bytes(const std::vector<uint8_t>& b) { m_pieces.push_back({b, 0}); }
    void U32(uint32_t v) { Bytes({uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}); }
    void Text(const std::u16string& s)
    {
        U32(static_cast<uint32_t>(s.size()));
        for (char16_t c : s)
            Bytes({uint8_t(c), uint8_t(c >> 8)});
    }
    void Units(uint64_t n, char16_t c) { m_pieces.push_back({{uint8_t(c), uint8_t(c >> 8)}, 2 * n}); }
    uint64_t Size() const override
    {
        uint64_t n = 0;
        for (const Piece& p : m_pieces)
            n += p.repeat ? p.repeat : p.bytes.size();
        return n;
    }
    bool ReadAt(uint64_t offset, void* out, size_t n) override
    {
        uint8_t* to = static_cast<uint8_t*>(out);
        for (const Piece& p : m_pieces) {
            uint64_t size = p.repeat ? p.repeat : p.bytes.size();
            for (; n > 0 && offset < size; ++offset, --n)
                *to++ = p.bytes[p.repeat ? offset % 2 : offset];
            offset -= std::min(offset, size);
        }
        return n == 0;
    }

private:
    struct Piece {
        std::vector<uint8_t> bytes;
        uint64_t repeat;  // bytes of the repeated unit; 0: the bytes as they are
    };
    std::vector<Piece> m_pieces;
};

// A stream that hands out a few bytes at a time: every line crosses a read.
class TrickleStream final : public storage::ByteStream {
public:
    TrickleStream(std::string text, size_t step) : m_text(std::move(text)), m_step(step) {}
    bool Read(void* out, size_t cap, size_t* got) override
    {
        *got = std::min({cap, m_step, m_text.size() - m_pos});
        m_text.copy(static_cast<char*>(out), *got, m_pos);
        m_pos += *got;
        return true;
    }

private:
    std::string m_text;
    size_t m_step;
    size_t m_pos = 0;
};

}  // namespace

// Rows far into a file: a first value of gigabytes is passed over, never read, and the
// rows after it are found at offsets past 2^31 and 2^32.
TEST(Storage, RowsPastTwoAndFourGigabytes)
{
    struct Case {
        uint64_t firstValueUnits;
        uint32_t rowsClaimed;
        uint64_t secondRowAt;  // file offset; 0: the file is refused as damaged
    };
    const Case cases[] = {
        /* 0 */ {1u << 30, 3, 48 + (2ull << 30)},
        /* 1 */ {2147483625u, 3, (1ull << 32) + 2},
        /* 2 */ {2147483625u, 4, 0},  // a fourth row would lie past the end
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE("case " + std::to_string(i));
        PieceSource file;
        file.Bytes({'O', 'R', 'V', 'L', 'M', 'D', 'F', '1', 1, 0, 0, 0});
        const uint64_t payload = 24 + 4 + 2 * c.firstValueUnits + 6 + 6;
        file.U32(static_cast<uint32_t>(payload));
        file.U32(0);  // the checksum is not what these rows are about
        file.U32(1);
        file.Text(u"T");
        file.U32(1);
        file.Text(u"V");
        file.U32(c.rowsClaimed);
        file.U32(static_cast<uint32_t>(c.firstValueUnits));
        file.Units(c.firstValueUnits, u'a');
        file.Text(u"b");
        file.Text(u"c");
        storage::Header header;
        ASSERT_EQ(ParseResult::Ok, storage::ReadHeader(file, &header));
        std::vector<storage::TableInfo> tables;
        ParseResult r = storage::ReadCatalogue(file, header, &tables);
        if (!c.secondRowAt) {
            EXPECT_EQ(ParseResult::Corrupt, r);
            continue;
        }
        ASSERT_EQ(ParseResult::Ok, r);
        EXPECT_EQ(c.secondRowAt + 12, tables[0].rowsEnd);
        storage::RowReader rows(file, tables[0]);
        std::vector<std::u16string> values;
        ASSERT_EQ(ParseResult::Ok, rows.Read(2, &values));
        EXPECT_EQ(std::vector<std::u16string>{u"c"}, values);
        ASSERT_EQ(ParseResult::Ok, rows.Read(1, &values));
        EXPECT_EQ(std::vector<std::u16string>{u"b"}, values);
        EXPECT_EQ(ParseResult::Corrupt, rows.Read(3, &values));
    }
}

// Values across the reader's buffer and chunk boundaries, rows read in order and out of
// it, and damage that only the end of the file shows.
TEST(Storage, LargeFilesStreamedInChunks)
{
    Database in;
    Table t;
    t.name = u"DailyReportTBL";
    t.columns = {u"T_Index", u"Work"};
    const size_t sizes[] = {0, 1, 131071, 131072, 131073, 524288, 3, 700000, 2};
    for (size_t i = 0; i < 45; ++i)
        t.rows.push_back({std::u16string(i % 7, u'0' + i % 10), std::u16string(sizes[i % 9], u'a' + i % 26)});
    in.tables.push_back(t);
    in.tables.push_back(t);  // twice: two row counts put right after the chunks went
    const std::vector<uint8_t> bytes = storage::Serialize(in);
    ASSERT_GT(bytes.size(), 4 * storage::kChunkSize);
    {
        storage::MemorySink sink;
        storage::Writer w(sink);
        w.Start(2);
        for (const Table& each : in.tables) {
            w.BeginTable(each.name, each.columns);
            for (const auto& row : each.rows)
                w.Row(row);
            w.EndTable();
        }
        ASSERT_TRUE(w.Finish());
        EXPECT_TRUE(bytes == sink.bytes);
    }
    Database out;
    ASSERT_EQ(ParseResult::Ok, storage::Parse(bytes.data(), bytes.size(), &out));
    EXPECT_TRUE(in.tables[0].rows == out.tables[0].rows);

    storage::MemorySource file(bytes.data(), bytes.size());
    storage::Header header;
    std::vector<storage::TableInfo> tables;
    ASSERT_EQ(ParseResult::Ok, storage::ReadHeader(file, &header));
    ASSERT_EQ(ParseResult::Ok, storage::ReadCatalogue(file, header, &tables));
    storage::RowReader rows(file, tables[0]);
    std::vector<std::u16string> values;
    for (uint32_t r : {44u, 0u, 40u, 31u, 32u, 33u, 5u, 43u}) {
        ASSERT_EQ(ParseResult::Ok, rows.Read(r, &values)) << "row " << r;
        EXPECT_TRUE(t.rows[r] == values) << "row " << r;
    }

    struct Damage {
        size_t at;  // the byte flipped, or the length cut to with cut
        bool cut;
        ParseResult header, checksum;
    };
    const Damage damage[] = {
        /* 0 */ {bytes.size() - 1, false, ParseResult::Ok, ParseResult::Corrupt},  // the last byte of a value
        /* 1 */ {bytes.size() / 2, true, ParseResult::Corrupt, ParseResult::Corrupt},
        /* 2 */ {storage::kHeaderSize + storage::kChunkSize, false, ParseResult::Ok, ParseResult::Corrupt},
    };
    for (size_t i = 0; i < sizeof damage / sizeof damage[0]; ++i) {
        std::vector<uint8_t> bad(bytes.begin(), bytes.begin() + (damage[i].cut ? damage[i].at : bytes.size()));
        if (!damage[i].cut)
            bad[damage[i].at] ^= 0x20;
        storage::MemorySource badFile(bad.data(), bad.size());
        EXPECT_EQ(damage[i].header, storage::ReadHeader(badFile, &header)) << "damage " << i;
        if (damage[i].header == ParseResult::Ok) {
            EXPECT_EQ(damage[i].checksum, storage::VerifyChecksum(badFile, header)) << "damage " << i;
        }
    }
}

// A description streamed a few bytes at a time gives the table that the whole text gives,
// and the same message for the same mistake.
TEST(TextDescription, StreamedAsTheWholeText)
{
    const std::string texts[] = {
        /* 0 */ "\xEF\xBB\xBFT_Index\tBookShelfName\r\n1\t\xE6\x9C\xAC\xE7\xA4\xBE\r\n2\ttab\\there\n\n3\t\n",
        /* 1 */ "A\n" + std::string(5000, 'x') + "\n\n\ny",
        /* 2 */ "A\tB\n1\n",
        /* 3 */ "A\n\\x\n",
        /* 4 */ "A\n\xE6\x9C\n",
        /* 5 */ "",
        /* 6 */ "A\tB",
    };
    for (size_t i = 0; i < sizeof texts / sizeof texts[0]; ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        Table whole;
        std::string wholeError;
        const bool wholeOk = storage::ParseTableText(texts[i], u"T", &whole, &wholeError);
        for (size_t step : {1u, 3u, 4096u}) {
            TrickleStream in(texts[i], step);
            storage::MemorySink sink;
            storage::Writer w(sink);
            w.Start(1);
            std::string error;
            EXPECT_EQ(wholeOk, storage::WriteTableText(in, u"T", &w, &error)) << "step " << step;
            EXPECT_EQ(wholeError, error);
            if (!wholeOk)
                continue;
            ASSERT_TRUE(w.Finish());
            Database one;
            one.tables.push_back(whole);
            EXPECT_EQ(storage::Serialize(one), sink.bytes);  // the row count put in front afterwards
            Database streamed;
            ASSERT_EQ(ParseResult::Ok, storage::Parse(sink.bytes.data(), sink.bytes.size(), &streamed));
            EXPECT_EQ(whole.columns, streamed.tables[0].columns);
            EXPECT_TRUE(whole.rows == streamed.tables[0].rows);
        }
    }
}
