// The stand-in server's database file and its readable description.
#include "Storage.h"
#include "TextDescription.h"

#include <gtest/gtest.h>

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
        "3\t\n";
    Table t;
    std::string error;
    ASSERT_TRUE(storage::ParseTableText(text, u"BookShelfTBL", &t, &error)) << error;
    ASSERT_EQ(3u, t.rows.size());
    EXPECT_EQ(u"\u672c\u793e\u68da", t.rows[0][1]);
    EXPECT_EQ(u"tab\there\nline\\end", t.rows[1][1]);
    EXPECT_EQ(u"", t.rows[2][1]);
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
