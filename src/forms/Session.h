#pragma once

#include <QString>

// What the windows share besides the memo book itself: the paths that start-up derives from
// the program's folder, and the memo that the display window hands to the entry window for
// correction. Start-up fills it once; every window is given it when it is made.
struct Session
{
    QString AppDir;    // the program's folder, without a trailing separator
    QString BackupDir; // AppDir + "/Back Up"
    QString DbPath;    // AppDir + "/IDATA2.mdb"

    // Start-up's copy is still to be checked: nothing is written into the memo book that the
    // program does not have to write until it has passed (the engine's figures wait for it).
    bool BackupUnchecked = false;

    // The memo handed over for correction; 0 for none.
    qint64 EditMemoId = 0;
};
