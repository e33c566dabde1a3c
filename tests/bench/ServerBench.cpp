// Benchmark of the stand-in server over real COM, every figure against a baseline
// measured in the same run:
//   - ReadRecord of a 6-column row against a no-op call (the platform's round trip),
//     for a single-apartment and a free-threaded server;
//   - backup of a 256 MB database against a copy of the same file that is flushed to disk
//     (the durable-copy floor: the backup flushes too), and, for information, against a
//     plain copy that leaves the data in the cache.
// Prints one line per figure: name, value, baseline, ratio, goal.
#include "ServerConnection.h"
#include "Storage.h"

#include "BenchClock.h"
#include "BenchData.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

void MakeRowDatabase(const std::wstring& path)
{
    storage::Database db;
    storage::Table t;
    t.name = u"BookCommonTBL";
    t.columns = {u"T_Index", u"Spot", u"BookName", u"SiteName", u"StartDate", u"EndDate"};
    for (int i = 0; i < 1000; ++i)
        t.rows.push_back({u"101", u"\u5c71\u7530 \u592a\u90ce", u"BOOK0101", u"\u56fd\u9053\u6539\u826f\u5de5\u4e8b",
                          u"2026/04/01", u"2027/03/31"});
    db.tables.push_back(t);
    std::vector<uint8_t> bytes = storage::Serialize(db);
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    Write(h, bytes.data(), bytes.size());
    CloseHandle(h);
}

struct RoundTrips {
    double noop;
    double read;
    bool ok;  // every call answered as it should
};

RoundTrips MeasureRoundTrips(int calls)
{
    DatabaseServer* server = nullptr;
    RoundTrips out = {0, 0, false};
    if (FAILED(ConnectDatabaseServer(&server))) {
        ReleaseDatabaseServer(&server);
        return out;
    }
    BSTR db = SysAllocString(L"BenchRows"), table = SysAllocString(L"BookCommonTBL"), key = nullptr;
    LONG handle = 0, rows = 0;
    bool ok = server->OpenDatabase(db, 0, &handle) == 0 && server->OpenRecordset(db, table, 0, &rows, &key) == 0 &&
              rows == 1000;
    std::vector<double> noop, read;
    for (int warm = 0; warm < 200; ++warm)
        server->Reserved03();
    // Interleaved, so that both see the same machine.
    for (int i = 0; ok && i < calls; ++i) {
        double t0 = Now();
        long answer = server->Reserved03();
        double t1 = Now();
        VARIANT v;
        VariantInit(&v);
        long rc = server->ReadRecord(db, key, i % rows, &v);
        double t2 = Now();
        // The no-op is a reserved slot: it answers "not implemented" (1015), not a transport error.
        ok = answer == 1015 && rc == 0 && v.vt == (VT_ARRAY | VT_VARIANT) && v.parray->rgsabound[0].cElements == 6;
        VariantClear(&v);
        noop.push_back(t1 - t0);
        read.push_back(t2 - t1);
    }
    server->CloseRecordset(db, key);
    server->CloseDatabase(db);
    SysFreeString(key);
    SysFreeString(db);
    SysFreeString(table);
    ReleaseDatabaseServer(&server);
    out.ok = ok && !read.empty();
    if (out.ok) {
        out.noop = Median(noop);
        out.read = Median(read);
    }
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    int megabytes = argc > 1 ? std::atoi(argv[1]) : 256;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::wstring folder = BenchFolder() + L"benchdata\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    SetServerSetting(L"DataFolder", folder.c_str());
    MakeRowDatabase(folder + L"BenchRows.mdf");

    for (const wchar_t* apartment : {L"single", L"free"}) {
        WaitForNoServer();
        SetServerSetting(L"Apartment", apartment);
        RoundTrips r = MeasureRoundTrips(3000);
        std::string name = std::string("ReadRecord round trip, ") +
                           (apartment[0] == L's' ? "single-apartment" : "free-threaded") + " (ms)";
        if (r.ok)
            Line(name.c_str(), r.read * 1000, r.noop * 1000, "ms", r.read / r.noop, "<= 1.3");
        else
            Failed(name.c_str(), "a call did not answer with its row");
    }
    WaitForNoServer();
    SetServerSetting(L"Apartment", nullptr);  // the server's own default

    std::wstring big = folder + L"BenchBig.mdf";
    MakeBigDatabase(big, megabytes);
    DatabaseServer* server = nullptr;
    std::string why = FAILED(ConnectDatabaseServer(&server)) ? "the server could not be reached" : "";
    BSTR name = SysAllocString(L"BenchBig");
    std::vector<double> copies, durableCopies, backups;
    std::wstring copy = folder + L"copy.mdf", backup = folder + L"backup.mdf";
    for (int i = 0; why.empty() && i < 3; ++i) {
        DeleteFileW(copy.c_str());
        DeleteFileW(backup.c_str());
        double t0 = Now();
        BOOL copied = CopyFileW(big.c_str(), copy.c_str(), FALSE);
        double t1 = Now();
        DeleteFileW(copy.c_str());  // a new file, as the backup is
        double durable = FlushedCopy(big, copy, Now);
        double t3 = Now();
        BSTR path = SysAllocString(backup.c_str());
        long rc = server->BackupRestoreDatabase(0, name, path);
        double t4 = Now();
        SysFreeString(path);
        if (!copied || durable < 0)
            why = "the baseline copy failed";
        else if (rc != 0)
            why = "the backup answered " + std::to_string(rc);
        else if (!SameFiles(backup, big))
            why = "the backup differs from its database";
        copies.push_back(t1 - t0);
        durableCopies.push_back(durable);
        backups.push_back(t4 - t3);
    }
    SysFreeString(name);
    ReleaseDatabaseServer(&server);
    char label[80];
    std::snprintf(label, sizeof label, "backup of a %d MB database (MB/s)", megabytes);
    if (!why.empty()) {
        Failed(label, why);
    } else {
        double copyMBs = megabytes / Median(copies), backupMBs = megabytes / Median(backups);
        double durableMBs = megabytes / Median(durableCopies);
        Line(label, backupMBs, durableMBs, "MB/s", backupMBs / durableMBs, ">= 0.8 (flushed copy)");
        Line("  the same against a plain copy (MB/s)", backupMBs, copyMBs, "MB/s", backupMBs / copyMBs,
             "none (informative)");
    }
    DeleteFileW(big.c_str());
    DeleteFileW((folder + L"copy.mdf").c_str());
    DeleteFileW((folder + L"backup.mdf").c_str());
    CoUninitialize();
    return ExitCode();
}
