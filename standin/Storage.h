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
//
// BOOKs reach gigabytes, so files are read and written as streams at 64-bit offsets:
// nothing here holds more than a chunk, the table list and one row at a time (a table's
// rows are found again through an offset for every kRowsPerMark-th row). The payload
// length field sets the limit: a file of at most 4 GiB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
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

enum class ParseResult { Ok, NotADatabase, Corrupt, ReadFailed };

constexpr size_t kHeaderSize = 20;
constexpr uint64_t kMaxPayload = 0xFFFFFFFFull;
// Bytes read or written at a time.
constexpr size_t kChunkSize = 1u << 20;

// The CRC-32 of the file format (the reflected polynomial 0xEDB88320), carried on from crc.
uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);

// Where a file's bytes come from: a file, or memory in the tests.
class Source {
public:
    virtual ~Source() = default;
    virtual uint64_t Size() const = 0;
    // Exactly n bytes at offset; false on a read error or past the end.
    virtual bool ReadAt(uint64_t offset, void* out, size_t n) = 0;
};

class MemorySource final : public Source {
public:
    MemorySource(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    uint64_t Size() const override { return m_size; }
    bool ReadAt(uint64_t offset, void* out, size_t n) override;

private:
    const uint8_t* m_data;
    size_t m_size;
};

// Where a written file's bytes go, in order; the header is written again at the end.
class Sink {
public:
    virtual ~Sink() = default;
    virtual bool Write(const void* data, size_t n) = 0;
    virtual bool WriteAt(uint64_t offset, const void* data, size_t n) = 0;
};

class MemorySink final : public Sink {
public:
    bool Write(const void* data, size_t n) override;
    bool WriteAt(uint64_t offset, const void* data, size_t n) override;
    std::vector<uint8_t> bytes;
};

struct Header {
    uint64_t payloadLength;
    uint32_t crc;
};
// The header, and a payload length that matches the file's size.
ParseResult ReadHeader(Source& in, Header* out);
// The payload streamed through the checksum, a chunk at a time.
ParseResult VerifyChecksum(Source& in, const Header& header);

struct TableInfo {
    std::u16string name;
    std::vector<std::u16string> columns;
    uint32_t rowCount = 0;
    uint64_t rowsBegin = 0;  // file offset of the first row
    uint64_t rowsEnd = 0;    // file offset just after the last row
};
// Walks the payload's structure, every length checked against what is left, so that a
// damaged file can never make the server read past it or allocate without bound. Values
// are passed over, not read. The checksum is not checked here.
ParseResult ReadCatalogue(Source& in, const Header& header, std::vector<TableInfo>* tables);
// Header, checksum and catalogue, in that order: what a database is checked for before
// any row of it is read.
ParseResult OpenDatabase(Source& in, std::vector<TableInfo>* tables);

// The rows of one table, read one at a time. Reading on from the last row read costs
// nothing extra; any other row is found from the nearest mark before it (an offset is
// kept for every kRowsPerMark-th row reached, not one per row).
class RowReader {
public:
    static const uint32_t kRowsPerMark = 32;
    RowReader(Source& in, const TableInfo& table);
    ~RowReader();
    RowReader(const RowReader&) = delete;
    RowReader& operator=(const RowReader&) = delete;
    ParseResult Read(uint32_t row, std::vector<std::u16string>* values);

private:
    struct State;
    std::unique_ptr<State> m_state;
};


// Writes a database file as a stream: Start with the number of tables, then each table
// with its row count first and exactly that many rows; Finish writes the payload length
// and checksum into the header. False once anything failed or did not add up.
class Writer {
public:
    explicit Writer(Sink& out);
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;
    bool Start(uint32_t tableCount);
    bool BeginTable(const std::u16string& name, const std::vector<std::u16string>& columns, uint32_t rowCount);
    // A table whose rows are counted as they come (a description read once), ended by
    // EndTable: its row count is written once known, and the checksum put right for it.
    bool BeginTable(const std::u16string& name, const std::vector<std::u16string>& columns);
    bool EndTable();
    bool Row(const std::vector<std::u16string>& values);
    bool Finish();
    uint64_t BytesWritten() const { return kHeaderSize + m_payload; }

private:
    bool Put(const void* data, size_t n);
    bool PutU32(uint32_t v);
    bool PutText(const std::u16string& s);
    bool Flush();
    Sink& m_out;
    std::vector<uint8_t> m_buffer;
    uint64_t m_payload = 0;
    uint32_t m_crc = 0;
    bool m_started = false;
    uint32_t m_tablesLeft = 0;
    uint32_t m_rowsLeft = 0;
    size_t m_columns = 0;
    bool m_counting = false;
    uint32_t m_counted = 0;
    uint64_t m_countAt = 0;  // payload offset of the counted table's row count
    struct Count {
        uint64_t at;
        uint32_t rows;
    };
    std::vector<Count> m_counts;  // written over the zeros they stand for by Finish
    bool m_failed = false;
};

std::vector<uint8_t> Serialize(const Database& db);
// The whole file in memory, for the tests and small files.
ParseResult Parse(const uint8_t* data, size_t size, Database* out);
// Header and checksum only, without building the tables.
ParseResult Verify(const uint8_t* data, size_t size);

}  // namespace storage
