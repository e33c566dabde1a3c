// The numbers the database server's operations take and answer, beyond 0 for success:
// one definition for the tool and for the stand-in server.
#pragma once

// BackupRestoreDatabase: write a backup of the database to the file, or restore the
// database from the file.
enum BackupRestoreMode : long { kBackupMode = 0, kRestoreMode = 1 };

// SetServerSystemState: stop or start the server system.
enum ServerSystemState : long { kServerStop = 0, kServerStart = 1 };

// BackupRestoreDatabase in restore mode: an application has the BOOK open.
const long kBookInUseCode = 146;
