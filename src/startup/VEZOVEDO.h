#pragma once

#include <QString>

struct Session;

// The start-up module.
namespace VEZOVEDO {

struct Paths
{
    QString appDir;
    QString backupDir;
    QString dbPath;
    QString helpFile;
    QChar separator;
};

// The paths derived from the program file's path. The folder is what stands before the
// program path's last separator; a Windows-style path ("C:\TOOLS\MEMO\X.EXE") is cut after
// its ".EXE" first, which a Linux path does not have. Paths are joined with the separator
// that the program path uses.
Paths derivePaths(const QString& programPath);

// The shared files of an installed program, <prefix>/share/orvalent, when the program's
// folder is <prefix>/bin beside them; empty for a portable program folder.
QString installedShareDir(const QString& appDir);

// Where an installed program keeps the user's memo book: "orvalent" in $XDG_DATA_HOME when
// that is an absolute path, else in ~/.local/share. Empty when there is no home folder.
QString userDataDir();

// The start-up message, shown when anything in start-up fails.
extern const QString StartupFailure;

// Starts the program: fills the session's paths, makes the backup folder, copies the
// database into it, loads and shows the main window, which is given the session. Returns
// false when start-up failed; the message has then been shown and no window is open. An
// installed program plays the same part in the user's data folder, where an empty memo
// book is made on the first start.
bool Main(const QString& programPath, Session& session);

// True once the check of the backup, made beside the main window, found the memo book
// unusable and ended the program: the program's run then ends as a failed start does.
bool endedByTrouble();

} // namespace VEZOVEDO
