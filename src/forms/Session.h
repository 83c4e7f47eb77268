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

    // The memo handed over for correction; 0 for none.
    qint64 EditMemoId = 0;
};
