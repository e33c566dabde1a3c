// Settings of the stand-in server, under HKLM\SOFTWARE\OrvelDatabaseServer (32-bit view;
// for the Windows test kit, under HKCU\Software\OrvelTestKit\Machine while that exists):
//   DataFolder   REG_SZ     where the databases live; default: the Data folder beside
//                           DatabaseServer.exe
//   FreeSpaceMB  REG_DWORD  when present, the free space reported for the data folder's
//                           drive (tests reach the import's 300 MB boundary with it)
//   Apartment    REG_SZ     "single": one single-threaded apartment serves every client
//                           in turn; otherwise (the default) the server is free-threaded
//   RequireMdfName REG_DWORD  when not 0, a backup or restore path whose file name does
//                           not end in ".mdf" is refused (kNotMdfName), as a server that
//                           derives something from the extension would
// Faults, for the tests of what the tool does when the server fails (read at each call):
//   FaultOperation     REG_SZ     the operation that fails or is slow (OpenDatabase,
//                                 CloseDatabase, OpenRecordset, ReadRecord, CloseRecordset,
//                                 GetDatabaseDriveFreeSpace, SetServerSystemState,
//                                 BackupRestoreDatabase)
//   FaultCode          REG_DWORD  what it answers instead of doing its work (0: it works)
//   FaultDelayMs       REG_DWORD  it answers only after this long
//   FaultRow           REG_DWORD  ReadRecord fails only at this row
//   FaultExitAfterBytes REG_DWORD with FaultOperation BackupRestoreDatabase: it ends the server process abruptly
//                                 once this many bytes of its new file (the backup, or
//                                 the restored database) are written
#pragma once
#include <windows.h>

#include <string>

namespace standin {

extern const wchar_t kConfigKey[];

std::wstring ModuleFolder();          // folder of this executable, with a trailing backslash
std::wstring DataFolder();            // with a trailing backslash
bool FreeSpaceOverride(DWORD* megabytes);
bool FreeThreaded();
bool RequireMdfName();
std::wstring DatabaseFile(const std::wstring& name);  // data folder + name + ".mdf"

// The fault set for operation (at row, for ReadRecord; -1 otherwise): waits out its
// delay, then true with *code when the operation must answer that code.
bool InjectedFault(const wchar_t* operation, long row, LONG* code);
// 0 when no exit is set.
DWORD ExitAfterBytes();

}  // namespace standin
