// Export and import of BOOKs with no window of their own: the checks, the BOOK folders
// and the server's backup and restore. Each step answers what happened; the backup
// dialog asks the user and shows the messages (Messages.h).
#pragma once
#include "Records.h"

#include <functional>
#include <string>

// The export destination checks, in the order they are made; the first that fails ends
// the export with nothing written.
enum class DestinationCheck {
    Ok,
    Missing,         // no destination given
    NotAFolder,      // a file (a destination that is missing passes: it is made)
    NetHood,         // the network-neighbourhood folder
    NoBookSelected,
    Unusable,        // a system folder or one under the user-profile root
    FixedDriveRoot,  // C:\ and the like
};
DestinationCheck CheckExportDestination(const std::string& destination, bool bookSelected);

// The name of the folder a BOOK is backed up in: its display name cut before the first
// character names may not hold, or when that is no plain folder name, its database name
// cut the same way; empty when neither is one.
std::string BookFolderName(const BookRecord& book);

// Whether bookFolder is a folder directly inside destination, by full paths compared
// without regard to letter case, and not a link to somewhere else: the proof asked for
// before a BOOK folder is emptied.
bool IsOwnBookFolder(const std::string& destination, const std::string& bookFolder);

struct ExportOutcome {
    enum Kind {
        Exported,
        Skipped,     // no BOOK record or no database name: nothing to back up, no message
        Declined,    // the user kept the existing BOOK folder
        Failed,      // code: the server's, or the system's error for a name or path
        FailedLeftover,  // as Failed, but the export's own folder (where) could not be
                         // taken back: what the server wrote there is still held
        NotReplaced,    // code: the system's; the old backup stays, nothing of the new one
        NewLeftInExportFolder,  // the BOOK folder was no longer provably the destination's
                                // own child; nothing was touched, and where, in the
                                // export's own folder, holds the new backup
        ExportFoldersTaken,  // code::kExportFoldersTaken: .n1 to .n9 are all there in the
                             // BOOK folder (where); nothing was written
        NotEmptied,  // code: the system's; the new backup is in place, but not all of the
                     // old folder's contents could go
    };
    Kind kind;
    long code;
    std::string where;  // the file or folder the message names
};

// Asked when the BOOK folder exists: may it be emptied for the new backup?
using OverwriteQuestion = std::function<bool(const std::string& bookFolder)>;

// Backs one BOOK up into <destination>\<BOOK folder name>\<BookName>.mdf, making the
// folders that are missing; when the backup fails, the folders it made go again, and in
// any case nothing the failed backup wrote stays. An existing backup is replaced in one
// step, once the new one is written and proven; the rest of its folder goes after that,
// and so do the export folders earlier exports left there with nothing but their own.
ExportOutcome ExportBook(const BookRecord& book, const std::string& destination, const OverwriteQuestion& mayOverwrite);

struct ImportOutcome {
    enum Kind {
        Restored,
        BadSource,   // no file, or the file is gone
        NoFreeSpaceFigure,  // code: the server could not say how much space is free
        LowSpace,    // value: the free megabytes
        NoDatabase,  // the server has no BOOK of the file's name
        Unusable,    // the file lies in an unusable folder
        InUse,       // value: the server's code (146)
        Failed,      // value: the server's code
    };
    Kind kind;
    long value;
};

// Restores the BOOK named like the backup file (its name without extension) from it.
// Nothing but the server's restore writes anything.
ImportOutcome ImportBookFile(const std::string& file);
