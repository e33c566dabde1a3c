// dbtool: the stand-in server's databases for demos and tests.
//
//   dbtool [--data DIR] create NAME FOLDER   NAME.mdf in the data folder from FOLDER\*.tsv,
//                                             one file per table (see TextDescription.h)
//   dbtool dump FILE                          every table of a database file, as text
//   dbtool verify FILE                        0 when FILE is an intact database file; prints
//                                             its tables and rows
//   dbtool hold NAME SECONDS                  opens NAME through the server, as another
//                                             client would, and keeps it open (in use)
//   dbtool datafolder                         prints the data folder
// Output is UTF-8.
#include "Connection.h"
#include "ErrorCodes.h"
#include "FileIo.h"
#include "ServerConfig.h"
#include "ServerConnection.h"
#include "Storage.h"
#include "TextDescription.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <new>
#include <string>
#include <vector>

namespace {

void Out(const std::string& utf8)
{
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

std::string Utf8(const std::wstring& w) { return storage::ToUtf8(std::u16string(w.begin(), w.end())); }
std::u16string U16(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }

int Fail(const std::string& message)
{
    Out("dbtool: " + message + "\n");
    return 1;
}

int Create(const std::wstring& dataFolder, const std::wstring& name, std::wstring folder)
{
    if (folder.empty() || folder.back() != L'\\')
        folder.push_back(L'\\');
    // The number of tables leads the file: the descriptions are listed first, then each
    // is streamed into the new database, one line at a time.
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"*.tsv").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return Fail("no .tsv files in " + Utf8(folder));
    do {
        files.push_back(found.cFileName);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    CreateDirectoryW(dataFolder.c_str(), nullptr);
    const std::wstring target = dataFolder + name + L".mdf";
    standin::AtomicFile out;
    // The writer below checksums and writes from a thread of its own.
    if (!out.Create(target))
        return Fail("cannot write " + Utf8(target));
    storage::Writer writer(out);
    writer.Start(static_cast<uint32_t>(files.size()));
    for (const std::wstring& file : files) {
        standin::FileStream in;
        if (!in.Open(folder + file))
            return Fail("cannot read " + Utf8(folder + file));
        std::string error;
        if (!storage::WriteTableText(in, U16(file.substr(0, file.size() - 4)), &writer, &error))
            return Fail(Utf8(file) + ": " + error);
    }
    if (!writer.Finish() || !out.Commit())
        return Fail("cannot write " + Utf8(target) +
                    (writer.BytesWritten() > storage::kHeaderSize + storage::kMaxPayload ? " (larger than 4 GiB)" : ""));
    Out("created " + Utf8(target) + " with " + std::to_string(files.size()) + " tables\n");
    return 0;
}

// Opens a database file and checks it whole, streaming: header, checksum, structure.
int Open(const std::wstring& file, standin::FileSource* in, std::vector<storage::TableInfo>* tables)
{
    if (!in->Open(file))
        return Fail("cannot read " + Utf8(file));
    storage::ParseResult r = storage::OpenDatabase(*in, tables);
    if (r == storage::ParseResult::NotADatabase)
        return Fail(Utf8(file) + ": not a database file");
    if (r == storage::ParseResult::Corrupt)
        return Fail(Utf8(file) + ": damaged (truncated or checksum mismatch)");
    if (r == storage::ParseResult::ReadFailed)
        return Fail("cannot read " + Utf8(file));
    return 0;
}

int Dump(const std::wstring& file)
{
    standin::FileSource in;
    std::vector<storage::TableInfo> tables;
    if (int rc = Open(file, &in, &tables))
        return rc;
    std::vector<std::u16string> values;
    for (const storage::TableInfo& t : tables) {
        Out("== " + storage::ToUtf8(t.name) + "\n" + storage::RowText(t.columns));
        storage::RowReader rows(in, t);
        for (uint32_t r = 0; r < t.rowCount; ++r) {
            if (rows.Read(r, &values) != storage::ParseResult::Ok)
                return Fail("cannot read " + Utf8(file));
            Out(storage::RowText(values));
        }
    }
    return 0;
}

int Verify(const std::wstring& file)
{
    standin::FileSource in;
    std::vector<storage::TableInfo> tables;
    if (int rc = Open(file, &in, &tables))
        return rc;
    uint64_t rows = 0;
    for (const storage::TableInfo& t : tables)
        rows += t.rowCount;
    Out("intact: " + Utf8(file) + " (" + std::to_string(tables.size()) + " tables, " + std::to_string(rows) + " rows)\n");
    return 0;
}

int Hold(const std::wstring& name, int seconds)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    DatabaseServer* server = nullptr;
    HRESULT hr = ConnectDatabaseServer(&server);
    if (FAILED(hr)) {
        ReleaseDatabaseServer(&server);
        CoUninitialize();
        return Fail("cannot reach the server: " + std::to_string(static_cast<long>(hr)));
    }
    BSTR bname = SysAllocString(name.c_str());
    LONG handle = 0;
    LONG rc = server->OpenDatabase(bname, 0, &handle);
    if (rc != 0) {
        SysFreeString(bname);
        ReleaseDatabaseServer(&server);
        CoUninitialize();
        return Fail("cannot open " + Utf8(name) + ": " + std::to_string(rc));
    }
    Out("holding " + Utf8(name) + "\n");
    Sleep(static_cast<DWORD>(seconds) * 1000);
    server->CloseDatabase(bname);
    SysFreeString(bname);
    ReleaseDatabaseServer(&server);
    CoUninitialize();
    return 0;
}

}  // namespace

int Run(std::vector<std::wstring> args);

int wmain(int argc, wchar_t** argv)
{
    try {
        return Run(std::vector<std::wstring>(argv + 1, argv + argc));
    } catch (const std::bad_alloc&) {
        return Fail("out of memory");
    }
}

int Run(std::vector<std::wstring> args)
{
    std::wstring dataFolder = standin::DataFolder();
    if (args.size() >= 2 && args[0] == L"--data") {
        dataFolder = args[1];
        if (dataFolder.back() != L'\\')
            dataFolder.push_back(L'\\');
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.size() == 3 && args[0] == L"create") {
        if (!standin::IsValidDatabaseName(args[1]))
            return Fail("not a database name: " + Utf8(args[1]));
        return Create(dataFolder, args[1], args[2]);
    }
    if (args.size() == 2 && args[0] == L"dump")
        return Dump(args[1]);
    if (args.size() == 2 && args[0] == L"verify")
        return Verify(args[1]);
    if (args.size() == 3 && args[0] == L"hold")
        return Hold(args[1], _wtoi(args[2].c_str()));
    if (args.size() == 1 && args[0] == L"datafolder") {
        Out(Utf8(dataFolder) + "\n");
        return 0;
    }
    Out("usage: dbtool [--data DIR] create NAME FOLDER | dump FILE | verify FILE | hold NAME SECONDS | datafolder\n");
    return 2;
}
