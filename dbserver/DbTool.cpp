// dbtool: the stand-in server's databases for demos and tests.
//
//   dbtool [--data DIR] create NAME FOLDER   NAME.mdf in the data folder from FOLDER\*.tsv,
//                                             one file per table (see TextDescription.h)
//   dbtool dump FILE                          every table of a database file, as text
//   dbtool verify FILE                        0 when FILE is an intact database file
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
    storage::Database db;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"*.tsv").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return Fail("no .tsv files in " + Utf8(folder));
    do {
        std::wstring file = found.cFileName;
        std::vector<uint8_t> bytes;
        if (!dbserver::ReadWholeFile(folder + file, &bytes)) {
            FindClose(find);
            return Fail("cannot read " + Utf8(folder + file));
        }
        storage::Table table;
        std::string error;
        std::u16string tableName = U16(file.substr(0, file.size() - 4));
        if (!storage::ParseTableText(std::string(bytes.begin(), bytes.end()), tableName, &table, &error)) {
            FindClose(find);
            return Fail(Utf8(file) + ": " + error);
        }
        db.tables.push_back(std::move(table));
    } while (FindNextFileW(find, &found));
    FindClose(find);
    CreateDirectoryW(dataFolder.c_str(), nullptr);
    std::vector<uint8_t> bytes = storage::Serialize(db);
    if (!dbserver::WriteFileAtomically(dataFolder + name + L".mdf", bytes.data(), bytes.size()))
        return Fail("cannot write " + Utf8(dataFolder + name + L".mdf"));
    Out("created " + Utf8(dataFolder + name + L".mdf") + " with " + std::to_string(db.tables.size()) + " tables\n");
    return 0;
}

int Load(const std::wstring& file, storage::Database* db)
{
    std::vector<uint8_t> bytes;
    if (!dbserver::ReadWholeFile(file, &bytes))
        return Fail("cannot read " + Utf8(file));
    storage::ParseResult r = storage::Parse(bytes.data(), bytes.size(), db);
    if (r == storage::ParseResult::NotADatabase)
        return Fail(Utf8(file) + ": not a database file");
    if (r == storage::ParseResult::Corrupt)
        return Fail(Utf8(file) + ": damaged (truncated or checksum mismatch)");
    return 0;
}

int Dump(const std::wstring& file)
{
    storage::Database db;
    if (int rc = Load(file, &db))
        return rc;
    for (const storage::Table& t : db.tables)
        Out("== " + storage::ToUtf8(t.name) + "\n" + storage::TableText(t));
    return 0;
}

int Verify(const std::wstring& file)
{
    storage::Database db;
    if (int rc = Load(file, &db))
        return rc;
    Out("intact: " + Utf8(file) + "\n");
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

int wmain(int argc, wchar_t** argv)
{
    std::vector<std::wstring> args(argv + 1, argv + argc);
    std::wstring dataFolder = dbserver::DataFolder();
    if (args.size() >= 2 && args[0] == L"--data") {
        dataFolder = args[1];
        if (dataFolder.back() != L'\\')
            dataFolder.push_back(L'\\');
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.size() == 3 && args[0] == L"create") {
        if (!dbserver::IsValidDatabaseName(args[1]))
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
