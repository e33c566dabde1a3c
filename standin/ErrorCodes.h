// Result codes of the stand-in database server. 0 is success; 146 is the one other code
// the tool knows (a BOOK in use during a restore). Every other failure has its own code.
#pragma once
#include "ServerNumbers.h"

enum ServerCode : long {
    kOk = 0,
    kInUse = kBookInUseCode,   // restore: another connection has the database open (146)
    kBadName = 1001,           // a database name with a separator, "..", a drive colon,
                               // a character file names cannot hold, empty, or > 128 chars
    kNoDatabase = 1002,        // no database of that name in the data folder
    kNotOpen = 1003,           // this connection has not opened that database
    kNoTable = 1004,           // the database has no table of that name
    kNoRecordset = 1005,       // no open recordset with that key on this connection
    kBadRow = 1006,            // row number outside the recordset
    kStopped = 1007,           // the server system is stopped (SetServerSystemState 0)
    kBadMode = 1008,           // BackupRestoreDatabase mode other than 0 or 1
    kBadPath = 1009,           // a backup/restore file path that is empty or too long
    kWriteFailed = 1010,       // the backup file could not be written (nothing is left under its name)
    kReadFailed = 1011,        // a database or backup file could not be read
    kNotADatabase = 1012,      // the file is not a database of our format (header)
    kCorrupt = 1013,           // the file is truncated or its checksum does not match
    kReplaceFailed = 1014,     // the restored database could not replace the old one
    kNotImplemented = 1015,    // a reserved operation slot
    kBadState = 1016,          // SetServerSystemState with a state other than 0 or 1
    kOutOfMemory = 1017,       // memory ran out for a row or a table list
    kFreeSpaceFailed = 1018,   // the free space of the data folder's drive is unknown
    kBadArgument = 1019,       // a required out-argument or text argument is missing
    kTooLarge = 1020,          // a table with more rows than a recordset can count
    kNotMdfName = 1021,        // RequireMdfName set: a backup/restore file not named *.mdf
};
