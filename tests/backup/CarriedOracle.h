// The carried-out rule read entry by entry, one profile read per entry, as the system's
// other programs state it: some entry k (1..n) of CarryInfo.ini lists bookId. The tests
// and the benchmark compare the catalogue's one-pass reading with it.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstdio>

inline bool IsBookCarriedOutIn(const char* carryInfoPath, int32_t bookId, int n)
{
    for (int k = 1; k <= n; ++k) {
        char section[32];
        std::snprintf(section, sizeof section, "CarryingInfo_%d", k);
        if (static_cast<int32_t>(GetPrivateProfileIntA(section, "CarryingBookID", 0, carryInfoPath)) == bookId)
            return true;
    }
    return false;
}
