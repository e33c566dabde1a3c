#include "CarriedBookCatalogue.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The entry number a section name could stand for, as the profile functions find
// sections: letter case ignored, blanks around the name ignored too (an ini file edited
// by hand may have them). 0 if none.
long long EntryNumber(const char* name, int n)
{
    while (*name == ' ' || *name == '\t')
        ++name;
    const char prefix[] = "CarryingInfo_";
    if (_strnicmp(name, prefix, sizeof prefix - 1) != 0)
        return 0;
    const char* p = name + sizeof prefix - 1;
    long long k = 0;
    bool digits = false;
    for (; *p >= '0' && *p <= '9'; ++p) {
        digits = true;
        k = k * 10 + (*p - '0');
        if (k > n)
            return 0;
    }
    while (*p == ' ' || *p == '\t')
        ++p;
    return (digits && *p == '\0') ? k : 0;
}

std::vector<char> SectionNames(const char* path)
{
    std::vector<char> names(4096);
    for (;;) {
        DWORD got = GetPrivateProfileSectionNamesA(names.data(), static_cast<DWORD>(names.size()), path);
        if (got + 2 < names.size())
            break;
        if (names.size() >= (64u << 20)) {
            break;  // beyond any real list; what was read is used
        }
        names.resize(names.size() * 2);
    }
    return names;
}

}  // namespace

CarriedBooks CarriedBooks::Read(const char* carryInfoPath)
{
    CarriedBooks out;
    out.m_count = static_cast<int>(GetPrivateProfileIntA("CarryingCommon", "CarryingCnt", 0, carryInfoPath));
    if (out.m_count <= 0)
        return out;
    std::unordered_set<long long> entries;
    std::vector<char> names = SectionNames(carryInfoPath);
    for (const char* name = names.data(); *name; name += std::strlen(name) + 1) {
        long long k = EntryNumber(name, out.m_count);
        if (k < 1 || !entries.insert(k).second)
            continue;
        char section[32];
        std::snprintf(section, sizeof section, "CarryingInfo_%d", static_cast<int>(k));
        out.m_ids.insert(static_cast<int32_t>(GetPrivateProfileIntA(section, "CarryingBookID", 0, carryInfoPath)));
    }
    if (static_cast<long long>(entries.size()) < out.m_count)
        out.m_ids.insert(0);  // an entry without its section reads as BOOK id 0
    return out;
}

std::vector<long> ShelvesWithCarriedBooks(const BookShelfRecord* shelves, long shelfCount,
                                          const ShelfBookLink* links, long linkCount,
                                          const CarriedBooks& carried)
{
    std::unordered_set<int32_t> holding;
    for (long i = 0; i < linkCount; ++i)
        if (carried.Contains(links[i].BookID))
            holding.insert(links[i].BookShelfID);
    std::vector<long> shown;
    for (long i = 0; i < shelfCount; ++i)
        if (holding.count(shelves[i].T_Index))
            shown.push_back(i);
    return shown;
}

std::vector<long> CarriedBooksOnShelf(const BookRecord* books, long bookCount, const ShelfBookLink* links,
                                      long linkCount, int32_t shelfId, const CarriedBooks& carried)
{
    std::unordered_set<int32_t> onShelf;
    for (long i = 0; i < linkCount; ++i)
        if (links[i].BookShelfID == shelfId && carried.Contains(links[i].BookID))
            onShelf.insert(links[i].BookID);
    std::vector<long> shown;
    for (long i = 0; i < bookCount; ++i)
        if (onShelf.count(books[i].T_Index))
            shown.push_back(i);
    return shown;
}
