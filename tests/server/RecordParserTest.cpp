// One item of a row into a record. Shift-JIS bytes written out: 表 95 5C, ソ 83 5C.
#include "RecordParser.h"
#include "Records.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace {
const std::string HYO = "\x95\x5C";
const std::string SO = "\x83\x5C";

BookRecord ParseBook(const std::vector<std::string>& items)
{
    BookRecord book;
    std::memset(&book, 0, sizeof book);
    for (const std::string& item : items)
        ParseItem(item.c_str(), &book, kBookFields, 6);
    return book;
}
}  // namespace

TEST(RecordParser, ItemsIntoTheirFields)
{
    struct Case {
        std::vector<std::string> items;
        int32_t index;
        std::string siteName;
    };
    const Case cases[] = {
        /* 0 */ {{"KEY=T_Index\t3\t42"}, 42, ""},
        /* 1 */ {{"garbage before KEY=T_Index\t1\t7"}, 7, ""},
        /* 2 */ {{"KEY=SiteName\t4\tA\tB\tC"}, 0, "A\tB\tC"},               // TABs in the value
        /* 3 */ {{"KEY=sitename\t4\tX", "KEY=T_INDEX\t1\t5"}, 0, ""},       // case counts
        /* 4 */ {{"KEY=T_Index\t1\t12abc"}, 12, ""},
        /* 5 */ {{"KEY=T_Index\t1\tabc"}, 0, ""},
        /* 6 */ {{"KEY=T_Index\t1\t  -17"}, -17, ""},
        /* 7 */ {{"KEY=SiteName\t4\tfirst", "KEY=SiteName\t4\tsecond"}, 0, "firstsecond"},
        /* 8 */ {{"KEY=T_Index\t1\t5", "KEY=T_Index\t1\t6"}, 6, ""},         // later one wins
        /* 9 */ {{"KEY=SiteName\t4\t" + SO + HYO + "\\"}, 0, SO + HYO + "\\"},
        /* 10 */ {{"KEY=SiteName4value", "KEY=SiteName\t4", "T_Index\t1\t5"}, 0, ""},  // no TABs, no KEY=
        /* 11 */ {{"KEY=T_Index\t1\t99999999999"}, INT_MAX, ""},
        /* 12 */ {{"KEY=T_Index\t1\t-99999999999"}, INT_MIN, ""},
        /* 13 */ {{"KEY=SiteName\t\t"}, 0, ""},
        /* 14 */ {{"KEY=" + SO + "\t1\tx", "KEY=SiteName\t1\t" + HYO}, 0, HYO},  // a name holding ソ
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        BookRecord book = ParseBook(cases[i].items);
        EXPECT_EQ(cases[i].index, book.T_Index);
        EXPECT_EQ(cases[i].siteName, book.SiteName);
    }
}

TEST(RecordParser, TextLongerThanItsFieldIsCutAtAWholeCharacter)
{
    // 126 bytes of ASCII, then 表: the field holds 127 bytes of text, so 表 does not fit.
    BookRecord book = ParseBook({"KEY=SiteName\t4\t" + std::string(126, 'a') + HYO + "tail"});
    EXPECT_EQ(std::string(126, 'a'), book.SiteName);
    EXPECT_EQ('\0', book.SiteName[127]);
    // 125 bytes then 表 fits exactly.
    book = ParseBook({"KEY=SiteName\t4\t" + std::string(125, 'a') + HYO + "tail"});
    EXPECT_EQ(std::string(125, 'a') + HYO, book.SiteName);
    // A second value is appended under the same rule; the neighbour is untouched.
    book = ParseBook({"KEY=Spot\t2\t" + std::string(100, 's'), "KEY=Spot\t2\t" + std::string(60, 't'),
                      "KEY=BookName\t3\tBOOK1"});
    EXPECT_EQ(std::string(100, 's') + std::string(27, 't'), book.Spot);
    EXPECT_STREQ("BOOK1", book.BookName);
    // Values beyond 259 bytes and very long column names are survived.
    book = ParseBook({"KEY=" + std::string(5000, 'c') + "\t1\tx", "KEY=SiteName\t4\t" + std::string(5000, 'v')});
    EXPECT_EQ(std::string(127, 'v'), book.SiteName);
}

TEST(RecordParser, LinksAndShelves)
{
    ShelfBookLink link = {};
    ParseItem("KEY=BookShelfID\t2\t3", &link, kShelfBookLinkFields, 3);
    ParseItem("KEY=BookID\t3\t17", &link, kShelfBookLinkFields, 3);
    ParseItem("KEY=Spot\t3\t17", &link, kShelfBookLinkFields, 3);  // not a column of a link
    EXPECT_EQ(0, link.T_Index);
    EXPECT_EQ(3, link.BookShelfID);
    EXPECT_EQ(17, link.BookID);
    BookShelfRecord shelf = {};
    EXPECT_EQ(1, ParseItem(("KEY=BookShelfName\t2\t" + HYO + SO).c_str(), &shelf, kBookShelfFields, 2));
    EXPECT_EQ(HYO + SO, shelf.BookShelfName);
}
