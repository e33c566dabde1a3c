// Databases for the stand-in server's data folder, as the tests over real COM need them:
// the common database with one carried-out BOOK, and the text conversion they share.
#pragma once
#include "Storage.h"
#include "Support.h"

#include <windows.h>

#include <string>

namespace testsupport {

inline std::u16string U16(const std::string& utf8)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::u16string s(n - 1, u'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, reinterpret_cast<wchar_t*>(&s[0]), n);
    return s;
}

inline void WriteDatabase(const std::string& dataFolder, const std::string& name, const storage::Database& db)
{
    std::vector<uint8_t> bytes = storage::Serialize(db);
    WriteFile(dataFolder + "\\" + name + ".mdf", std::string(bytes.begin(), bytes.end()));
}

// RariveSystemCommonDB with the shelf 本社工事部 holding BOOK 101, BOOK0101, listed under
// siteName (UTF-8).
inline void WriteOneBookCatalogue(const std::string& dataFolder, const char* siteName)
{
    storage::Database common;
    storage::Table shelves, books, links;
    shelves.name = u"BookShelfTBL";
    shelves.columns = {u"T_Index", u"BookShelfName"};
    shelves.rows = {{u"1", U16(u8"本社工事部")}};
    books.name = u"BookCommonTBL";
    books.columns = {u"T_Index", u"Spot", u"BookName", u"SiteName", u"StartDate", u"EndDate"};
    books.rows = {{u"101", U16(u8"山田"), u"BOOK0101", U16(siteName), u"2026/04/01", u"2027/03/31"}};
    links.name = u"BookShelfInfoTBL";
    links.columns = {u"T_Index", u"BookShelfID", u"BookID"};
    links.rows = {{u"1", u"1", u"101"}};
    common.tables = {shelves, books, links};
    WriteDatabase(dataFolder, "RariveSystemCommonDB", common);
}

}  // namespace testsupport
