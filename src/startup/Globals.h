#pragma once

#include <QString>

// Values set once by the start-up sequence and read by the windows.
inline QString AppDir;    // the program's folder, without a trailing separator
inline QString BackupDir; // AppDir + "/Back Up"
inline QString DbPath;    // AppDir + "/IDATA2.mdb"

// The memo that the display window hands to the entry window for correction; 0 for none.
inline qint64 EditMemoId = 0;
