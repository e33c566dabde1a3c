// The stand-in server's database file (.mdf): a header, the tables with their columns and
// rows, and a checksum. Pure C++, so the same code runs in the server, in dbtool, and in
// the native tests and fuzz target.
//
// Layout, little-endian:
//   "ORVLMDF1"  8 bytes
//   u32 version (1), u32 payload length, u32 CRC-32 of the payload
//   payload: u32 table count; per table: text name, u32 column count, text columns...,
//            u32 row count, then row-major text values (column count per row)
//   text: u32 length in UTF-16 units, then the units
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace storage {

struct Table {
    std::u16string name;
    std::vector<std::u16string> columns;
    std::vector<std::vector<std::u16string>> rows;  // each row has columns.size() values
};

struct Database {
    std::vector<Table> tables;
    const Table* Find(const std::u16string& name) const;
};

enum class ParseResult { Ok, NotADatabase, Corrupt };

constexpr size_t kHeaderSize = 20;

std::vector<uint8_t> Serialize(const Database& db);
ParseResult Parse(const uint8_t* data, size_t size, Database* out);
// Header and checksum only, without building the tables.
ParseResult Verify(const uint8_t* data, size_t size);

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);

}  // namespace storage
