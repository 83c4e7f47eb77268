#pragma once

#include <QString>

// What start-up tells the user when it cannot use the memo book: the start-up message as it
// stands, then which file, why, and the way on.
namespace StartupMessage {

enum class Trouble {
    None,          // the start-up message alone
    DataFolder,    // the user's data folder cannot be made
    BackupFolder,  // the backup folder cannot be made
    Missing,       // no memo book
    NotMemoBook,   // a file of another program, or a database without the memo table
    Damaged,       // the memo book fails the check
    ReadOnly,      // the memo book or its folder takes no writes
    Busy,          // another program holds the memo book
    CannotBackUp,  // the copy in the backup folder cannot be made
    DiskFull,      // no room on the disk for the copy
    CannotOpen,    // the main window cannot open the memo book
    Newer,         // the memo book was written by a newer version of the program
    CannotUpgrade, // the memo book of an older version cannot be brought to this one
};

struct Where
{
    QString file;                // the file or folder the trouble is with
    QString appDir;              // where the memo book belongs
    QString backup;              // the last copy start-up made, when there is one
    bool makesEmptyBook = false; // a missing memo book is made empty at the next start
};

// Lines joined with a carriage return, as the start-up message's own are.
QString text(Trouble trouble, const Where& where);

// The way on for a memo book that cannot be used: the last good copy, or moving the file away
// (the next start then makes an empty memo book where it does so). For a file that is not
// there (fileThere false), only the last good copy, or nothing.
QString wayOn(const Where& where, bool fileThere = true);

} // namespace StartupMessage
