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
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::wstring Folder()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s = path;
    return s.substr(0, s.find_last_of(L'\\') + 1) + L"benchdata\\";
}

void SetConfig(const wchar_t* name, const wchar_t* value)
{
    HKEY key;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\OrvelDatabaseServer", 0, nullptr, 0, KEY_WRITE | KEY_WOW64_32KEY,
                    nullptr, &key, nullptr);
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                   static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

bool ServerRunning()
{
    // The server lingers a moment after its last client; a new apartment setting
    // applies only to a freshly started server.
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W e = {};
    e.dwSize = sizeof e;
    bool found = false;
    for (BOOL ok = Process32FirstW(snap, &e); ok; ok = Process32NextW(snap, &e))
        if (lstrcmpiW(e.szExeFile, L"DatabaseServer.exe") == 0)
            found = true;
    CloseHandle(snap);
    return found;
}

void WaitForServerExit()
{
    for (int i = 0; i < 200 && ServerRunning(); ++i)
        Sleep(100);
}

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
};

RoundTrips MeasureRoundTrips(int calls)
{
    DatabaseServer* server = nullptr;
    RoundTrips out = {0, 0};
    if (FAILED(ConnectDatabaseServer(&server))) {
        ReleaseDatabaseServer(&server);
        return out;
    }
    BSTR db = SysAllocString(L"BenchRows"), table = SysAllocString(L"BookCommonTBL"), key = nullptr;
    LONG handle, rows;
    server->OpenDatabase(db, 0, &handle);
    server->OpenRecordset(db, table, 0, &rows, &key);
    std::vector<double> noop, read;
    for (int warm = 0; warm < 200; ++warm)
        server->Reserved03();
    // Interleaved, so that both see the same machine.
    for (int i = 0; i < calls; ++i) {
        double t0 = Now();
        server->Reserved03();
        double t1 = Now();
        VARIANT v;
        VariantInit(&v);
        server->ReadRecord(db, key, i % rows, &v);
        double t2 = Now();
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
    out.noop = Median(noop);
    out.read = Median(read);
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    int megabytes = argc > 1 ? std::atoi(argv[1]) : 256;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::wstring folder = Folder();
    CreateDirectoryW(folder.c_str(), nullptr);
    SetConfig(L"DataFolder", folder.c_str());
    MakeRowDatabase(folder + L"BenchRows.mdf");

    for (const wchar_t* apartment : {L"single", L"free"}) {
        WaitForServerExit();
        SetConfig(L"Apartment", apartment);
        RoundTrips r = MeasureRoundTrips(3000);
        std::string name = std::string("ReadRecord round trip, ") +
                           (apartment[0] == L's' ? "single-apartment" : "free-threaded") + " (ms)";
        Line(name.c_str(), r.read * 1000, r.noop * 1000, "ms", r.read / r.noop, "<= 1.3");
    }
    WaitForServerExit();
    SetConfig(L"Apartment", L"single");

    std::wstring big = folder + L"BenchBig.mdf";
    MakeBigDatabase(big, megabytes);
    DatabaseServer* server = nullptr;
    ConnectDatabaseServer(&server);
    BSTR name = SysAllocString(L"BenchBig");
    std::vector<double> copies, durableCopies, backups;
    std::wstring copy = folder + L"copy.mdf", backup = folder + L"backup.mdf";
    for (int i = 0; i < 3; ++i) {
        DeleteFileW(copy.c_str());
        DeleteFileW(backup.c_str());
        double t0 = Now();
        CopyFileW(big.c_str(), copy.c_str(), FALSE);
        double t1 = Now();
        DeleteFileW(copy.c_str());
        double t2 = Now();
        CopyFileW(big.c_str(), copy.c_str(), FALSE);
        HANDLE h = CreateFileW(copy.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        FlushFileBuffers(h);
        CloseHandle(h);
        double t3 = Now();
        BSTR path = SysAllocString(backup.c_str());
        long rc = server->BackupRestoreDatabase(0, name, path);
        double t4 = Now();
        SysFreeString(path);
        if (rc != 0)
            std::printf("backup failed: %ld\n", rc);
        copies.push_back(t1 - t0);
        durableCopies.push_back(t3 - t2);
        backups.push_back(t4 - t3);
    }
    SysFreeString(name);
    ReleaseDatabaseServer(&server);
    double copyMBs = megabytes / Median(copies), backupMBs = megabytes / Median(backups);
    double durableMBs = megabytes / Median(durableCopies);
    char label[80];
    std::snprintf(label, sizeof label, "backup of a %d MB database (MB/s)", megabytes);
    Line(label, backupMBs, durableMBs, "MB/s", backupMBs / durableMBs, ">= 0.8 (flushed copy)");
    Line("  the same against a plain copy (MB/s)", backupMBs, copyMBs, "MB/s", backupMBs / copyMBs,
         "none (informative)");
    DeleteFileW(big.c_str());
    DeleteFileW((folder + L"copy.mdf").c_str());
    DeleteFileW((folder + L"backup.mdf").c_str());
    CoUninitialize();
    return 0;
}
