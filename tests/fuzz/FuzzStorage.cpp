// libFuzzer: a database or backup file from outside the server, and a table description,
// each through the streaming readers.
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
    // Rows read out of order find the same values as rows read in order.
    storage::MemorySource file(data, size);
    storage::Header header;
    std::vector<storage::TableInfo> tables;
    if (storage::ReadHeader(file, &header) == storage::ParseResult::Ok &&
        storage::ReadCatalogue(file, header, &tables) == storage::ParseResult::Ok) {
        for (const storage::TableInfo& t : tables) {
            storage::RowReader forward(file, t), backward(file, t);
            std::vector<std::u16string> a, b;
            for (uint32_t r = 0; r < t.rowCount && r < 64; ++r) {
                bool okA = forward.Read(r, &a) == storage::ParseResult::Ok;
                bool okB = backward.Read(t.rowCount - 1 - r, &b) == storage::ParseResult::Ok &&
                           backward.Read(r, &b) == storage::ParseResult::Ok;
                if (okA != okB || (okA && a != b))
                    __builtin_trap();
            }
        }
    }
    const std::string text(reinterpret_cast<const char*>(data), size);
    storage::Table table;
    std::string error, streamError;
    bool whole = storage::ParseTableText(text, u"T", &table, &error);
    storage::MemoryStream in(text);
    storage::MemorySink sink;
    storage::Writer w(sink);
    w.Start(1);
    if (storage::WriteTableText(in, u"T", &w, &streamError) != whole || error != streamError)
        __builtin_trap();  // the streamed description follows the same rules
    storage::Database one;
    one.tables.push_back(table);
    if (whole && (!w.Finish() || sink.bytes != storage::Serialize(one)))
        __builtin_trap();  // rows counted as they came: the file as if their number was known
    if (storage::Crc32(data, size) != storage::Crc32(data + size / 2, size - size / 2, storage::Crc32(data, size / 2)))
        __builtin_trap();  // carried on chunk by chunk as taken whole
    return 0;
}
