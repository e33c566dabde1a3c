// Data the benchmarks make for the stand-in server: the common database at a given size
// with its CarryInfo.ini, and a large database written as it streams.
#pragma once
#include "Storage.h"

#include "../support/KitSystem.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace benchdata {

// The folder of the running bench program, with its trailing backslash.
inline std::wstring BenchFolder()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s = path;
    return s.substr(0, s.find_last_of(L'\\') + 1);
}

// One of the stand-in server's settings (a started server reads them once); nullptr
// takes it away, to the server's own default.
inline void SetServerSetting(const wchar_t* name, const wchar_t* value)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\OrvelDatabaseServer", 0, nullptr, 0,
                        KEY_WRITE | KEY_WOW64_32KEY, nullptr, &key, nullptr) != 0)
        return;
    if (value)
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                       static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
    else
        RegDeleteValueW(key, name);
    RegCloseKey(key);
}

// The server lingers a moment after its last client: a cold start, or a setting that
// only a freshly started server reads, waits for it to end (at most 30 s).
inline void WaitForNoServer()
{
    for (int i = 0; i < 300 && testsupport::ServerProcesses() > 0; ++i)
        Sleep(100);
}

inline void Write(HANDLE h, const void* p, size_t n)
{
    DWORD w;
    WriteFile(h, p, static_cast<DWORD>(n), &w, nullptr);
}

// Whether two files hold the same bytes, read a chunk at a time: what a benchmark checks
// before it prints a figure for a backup, a restore or an export.
inline bool SameFiles(const std::wstring& a, const std::wstring& b)
{
    HANDLE ha = CreateFileW(a.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    HANDLE hb = CreateFileW(b.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    bool same = ha != INVALID_HANDLE_VALUE && hb != INVALID_HANDLE_VALUE;
    std::vector<uint8_t> x(4u << 20), y(4u << 20);
    while (same) {
        DWORD nx = 0, ny = 0;
        same = ReadFile(ha, x.data(), static_cast<DWORD>(x.size()), &nx, nullptr) &&
               ReadFile(hb, y.data(), static_cast<DWORD>(y.size()), &ny, nullptr) && nx == ny &&
               std::equal(x.begin(), x.begin() + nx, y.begin());
        if (nx == 0)
            break;
    }
    if (ha != INVALID_HANDLE_VALUE)
        CloseHandle(ha);
    if (hb != INVALID_HANDLE_VALUE)
        CloseHandle(hb);
    return same;
}

// A copy that is flushed to disk: the floor for anything that writes a durable file.
// Its time in seconds, or -1 when the copy failed. A file at `to` is replaced, as the
// work measured against it replaces its own; the caller deletes it first for a new one.
// In place, the old file is truncated and written over. Beside, the copy is made as a
// backup has to be made: beside its target, which stays whole until the copy is complete
// and flushed, then renamed over it. A copy in place frees the old file's cache before it
// writes and so writes into memory the system has at hand; one made beside must find
// memory for both files (on this project's VMs that alone costs up to twice the time),
// as the stand-in's backup and restore must.
enum class CopyMade { InPlace, Beside };
inline double FlushedCopy(const std::wstring& from, const std::wstring& to, double (*now)(), CopyMade how = CopyMade::InPlace)
{
    const std::wstring written = how == CopyMade::Beside ? to + L".new" : to;
    double t0 = now();
    if (!CopyFileW(from.c_str(), written.c_str(), FALSE))
        return -1;
    HANDLE h = CreateFileW(written.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    bool done = h != INVALID_HANDLE_VALUE && FlushFileBuffers(h);
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    if (how == CopyMade::Beside) {
        done = done && MoveFileExW(written.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        if (!done)
            DeleteFileW(written.c_str());
    }
    return done ? now() - t0 : -1;
}

inline void WriteU32(std::vector<uint8_t>& b, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A database file of about `megabytes`, written as it streams (a 32-bit process should
// not hold it twice).
inline void MakeBigDatabase(const std::wstring& path, int megabytes)
{
    const uint32_t valueChars = 32 * 1024;  // 64 KB per value
    const uint32_t rows = static_cast<uint32_t>(megabytes) * 16;
    std::vector<uint8_t> head;
    WriteU32(head, 1);
    const std::u16string name = u"DataTBL", column = u"Data";
    WriteU32(head, static_cast<uint32_t>(name.size()));
    for (char16_t c : name) { head.push_back(static_cast<uint8_t>(c)); head.push_back(0); }
    WriteU32(head, 1);
    WriteU32(head, static_cast<uint32_t>(column.size()));
    for (char16_t c : column) { head.push_back(static_cast<uint8_t>(c)); head.push_back(0); }
    WriteU32(head, rows);
    std::vector<uint8_t> row;
    WriteU32(row, valueChars);
    for (uint32_t i = 0; i < valueChars; ++i) {
        char16_t c = static_cast<char16_t>(0x3042 + i % 80);
        row.push_back(static_cast<uint8_t>(c));
        row.push_back(static_cast<uint8_t>(c >> 8));
    }
    uint64_t payload = head.size() + uint64_t(rows) * row.size();
    uint32_t crc = storage::Crc32(head.data(), head.size());
    for (uint32_t r = 0; r < rows; ++r)
        crc = storage::Crc32(row.data(), row.size(), crc);
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    std::vector<uint8_t> header = {'O', 'R', 'V', 'L', 'M', 'D', 'F', '1'};
    WriteU32(header, 1);
    WriteU32(header, static_cast<uint32_t>(payload));
    WriteU32(header, crc);
    Write(h, header.data(), header.size());
    Write(h, head.data(), head.size());
    for (uint32_t r = 0; r < rows; ++r)
        Write(h, row.data(), row.size());
    CloseHandle(h);
}

inline std::u16string Num(long n)
{
    std::string s = std::to_string(n);
    return std::u16string(s.begin(), s.end());
}

inline void WriteCommonDatabase(const std::string& dataFolder, int shelves, int books, int links)
{
    storage::Database db;
    storage::Table s, b, l;
    s.name = u"BookShelfTBL";
    s.columns = {u"T_Index", u"BookShelfName"};
    for (int i = 1; i <= shelves; ++i)
        s.rows.push_back({Num(i), u"\u672c\u68da" + Num(i)});
    b.name = u"BookCommonTBL";
    b.columns = {u"T_Index", u"Spot", u"BookName", u"SiteName", u"StartDate", u"EndDate"};
    for (int i = 1; i <= books; ++i)
        b.rows.push_back({Num(i), u"\u5c71\u7530", u"BOOK" + Num(i), u"\u5de5\u4e8b" + Num(i), u"2026/04/01", u"2027/03/31"});
    l.name = u"BookShelfInfoTBL";
    l.columns = {u"T_Index", u"BookShelfID", u"BookID"};
    for (int i = 1; i <= links; ++i)
        l.rows.push_back({Num(i), Num(1 + (i * 7) % shelves), Num(1 + (i * 13) % books)});
    db.tables = {s, b, l};
    std::vector<uint8_t> bytes = storage::Serialize(db);
    HANDLE h = CreateFileA((dataFolder + "RariveSystemCommonDB.mdf").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD w;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &w, nullptr);
    CloseHandle(h);
}

inline void WriteCarryInfo(const std::string& path, int carried, int books)
{
    std::string text = "[CarryingCommon]\r\nCarryingCnt=" + std::to_string(carried) + "\r\n";
    for (int k = 1; k <= carried; ++k)
        text += "[CarryingInfo_" + std::to_string(k) + "]\r\nCarryingBookID=" + std::to_string(1 + (k * 37) % books) + "\r\n";
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD w;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &w, nullptr);
    CloseHandle(h);
}

}  // namespace benchdata

using benchdata::BenchFolder;
using benchdata::FlushedCopy;
using benchdata::MakeBigDatabase;
using benchdata::SameFiles;
using benchdata::SetServerSetting;
using benchdata::WaitForNoServer;
using benchdata::Write;
using benchdata::WriteCarryInfo;
using benchdata::WriteCommonDatabase;
