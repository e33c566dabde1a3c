// Settings of the stand-in server, under HKLM\SOFTWARE\OrvelDatabaseServer (32-bit view):
//   DataFolder   REG_SZ     where the databases live; default: the Data folder beside
//                           DatabaseServer.exe
//   FreeSpaceMB  REG_DWORD  when present, the free space reported for the data folder's
//                           drive (tests reach the import's 300 MB boundary with it)
//   Apartment    REG_SZ     "free" runs the server free-threaded; otherwise one
//                           single-threaded apartment serves every client in turn
#pragma once
#include <windows.h>

#include <string>

namespace dbserver {

extern const wchar_t kConfigKey[];

std::wstring ModuleFolder();          // folder of this executable, with a trailing backslash
std::wstring DataFolder();            // with a trailing backslash
bool FreeSpaceOverride(DWORD* megabytes);
bool FreeThreaded();
std::wstring DatabaseFile(const std::wstring& name);  // data folder + name + ".mdf"

}  // namespace dbserver
