// libFuzzer: a database or backup file from outside the server, and a table description.
#include "Storage.h"
#include "TextDescription.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    storage::Database db;
    if (storage::Parse(data, size, &db) == storage::ParseResult::Ok) {
        std::vector<uint8_t> again = storage::Serialize(db);
        if (again.size() != size)
            __builtin_trap();  // an accepted file must be exactly what we would write
    }
    storage::Table table;
    std::string error;
    storage::ParseTableText(std::string(reinterpret_cast<const char*>(data), size), u"T", &table, &error);
    return 0;
}
