// Double-byte aware text helpers. Shift-JIS bytes are written out: 表 is 95 5C and
// ソ is 83 5C, whose trail byte is the backslash; ｱ (B1) is a single byte.
#include "MbText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {
const char HYO[] = "\x95\x5C";   // 表
const char SO[] = "\x83\x5C";    // ソ
const char BAR2[] = "\x83\x7C";  // ポ: trail byte 0x7C, the vertical bar
}  // namespace

TEST(MbText, SearchesNeverStopOnATrailByte)
{
    struct Case {
        std::string text;
        char c;
        long first;  // offset, -1: none
        long last;
    };
    const Case cases[] = {
        /* 0 */ {"a\\b\\c", '\\', 1, 3},
        /* 1 */ {std::string("C:") + HYO + "\\x", '\\', 4, 4},
        /* 2 */ {std::string(HYO) + SO, '\\', -1, -1},
        /* 3 */ {std::string(SO) + "\\" + HYO, '\\', 2, 2},
        /* 4 */ {std::string("a") + BAR2 + "|", '|', 3, 3},
        /* 5 */ {"", '\\', -1, -1},
        /* 6 */ {"\xB1\\", '\\', 1, 1},         // half-width ｱ is one byte
        /* 7 */ {"x\x95", '\\', -1, -1},         // a lone lead byte at the end
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE("case " + std::to_string(i));
        const char* s = c.text.c_str();
        const char* first = FindChar(s, c.c);
        const char* last = FindLastChar(s, c.c);
        EXPECT_EQ(c.first, first ? first - s : -1);
        EXPECT_EQ(c.last, last ? last - s : -1);
    }
}

TEST(MbText, CopiesAreCutAtWholeCharacters)
{
    struct Case {
        std::string src;
        size_t size;
        std::string expected;
        int whole;
    };
    const std::string kanji = std::string(HYO) + SO + HYO;  // 6 bytes
    const Case cases[] = {
        /* 0 */ {"abc", 4, "abc", 1},
        /* 1 */ {"abcd", 4, "abc", 0},
        /* 2 */ {kanji, 7, kanji, 1},
        /* 3 */ {kanji, 6, std::string(HYO) + SO, 0},   // 5 bytes fit: never half of 表
        /* 4 */ {kanji, 5, std::string(HYO) + SO, 0},
        /* 5 */ {kanji, 2, "", 0},
        /* 6 */ {"a" + kanji, 3, "a", 0},
        /* 7 */ {"", 1, "", 1},
        /* 8 */ {"x\x95", 3, "x\x95", 1},              // lone lead byte copied as it is
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE("case " + std::to_string(i));
        char buf[16];
        std::memset(buf, '#', sizeof buf);
        EXPECT_EQ(c.whole, CopyText(buf, c.size, c.src.c_str()));
        EXPECT_EQ(c.expected, buf);
        EXPECT_EQ('#', buf[c.size]) << "wrote past the buffer";
    }
}

TEST(MbText, RangesAndAppendsFollowTheSameRule)
{
    const std::string text = std::string("ab") + HYO + "cd";
    char buf[8];
    EXPECT_EQ(1, CopyTextRange(buf, sizeof buf, text.c_str(), text.c_str() + 4));
    EXPECT_EQ(std::string("ab") + HYO, buf);
    EXPECT_EQ(0, CopyTextRange(buf, 4, text.c_str(), text.c_str() + 6));
    EXPECT_STREQ("ab", buf);
    // A range that ends inside a character stops before it.
    EXPECT_EQ(0, CopyTextRange(buf, sizeof buf, text.c_str(), text.c_str() + 3));
    EXPECT_STREQ("ab", buf);

    char field[8] = "abc";
    EXPECT_EQ(1, AppendText(field, sizeof field, "de"));
    EXPECT_STREQ("abcde", field);
    EXPECT_EQ(1, AppendText(field, sizeof field, HYO));  // 5 + 2 bytes and the terminator fill it
    EXPECT_EQ(std::string("abcde") + HYO, field);
    EXPECT_EQ(0, AppendText(field, sizeof field, "z"));
    EXPECT_EQ(std::string("abcde") + HYO, field);
}
