#pragma once

#include "core/Result.h"

#include <QList>
#include <QString>

// Where the old program's files are now: a Windows path (a drive letter, or a UNC path) is looked
// for under the folder the user chose for its drive or share. Stored memos keep their paths as
// written; only the lookup goes elsewhere.
//
// What counts as a Windows path: "C:\x", "c:/x", "C:x" (taken from the drive's root, where the old
// program's current folder on another drive almost always was), "\\srv\share\x", "//srv/share/x" and
// the "\\?\" and "\\.\" forms of these. A Linux path ("/x", "///x") and a relative path without a
// drive ("HELP\x.hlp", "\WINDOWS\x") are not: which folder or drive they were relative to cannot be
// known, so they are handed back as they are.
namespace OldFiles {

struct Root
{
    QString key;    // "C:" or "\\SERVER\SHARE" (upper case)
    QString folder; // a local absolute path
};

bool isWindowsPath(const QString& path);
// "C:" / "\\SRV\SHARE"; empty for other paths, and for a Windows path that names no drive or share.
QString rootKey(const QString& path);

enum class Found {
    Local,    // not a Windows path: the path as it is, whether or not it exists
    Resolved, // found under its root's folder
    NoRoot,   // the user has chosen no folder for its root yet
    Missing,  // not found under its root's folder
    Invalid,  // cannot name a file here
};

struct Resolution
{
    Found found = Found::Invalid;
    QString path; // the local file when Local or Resolved, empty otherwise
    QString key;  // the root it needs, for every Windows path that names one
    QString why;  // what the user is told when it is not found, in Japanese; empty when found
};

// A Windows path under its root's folder, each name matched without regard to letter case (an exact
// match first; of several that differ only in case, the first in code point order; a short name
// such as "PROGRA~1" when exactly one name in its folder can have had it). Trailing dots and spaces
// of names are ignored, as Windows ignored them; "." and doubled separators are skipped; ".." is
// taken back by name, before anything is looked up, and never climbs above the root. Each folder
// is read one level at a time, and only where the exact name is not there.
// Invalid: a NUL or another character that no Windows name held, an empty name ("...", "  "), a
// device name (CON, NUL, COM1...), a ".." above the root, a UNC path without a share.
Resolution resolve(const QString& path, const QList<Root>& roots);
// With the user's saved roots.
Resolution resolve(const QString& path);

// The root key that the text names, in its stored form ("c:" gives "C:", "//srv/share" gives
// "\\SRV\SHARE"); empty when it is none.
QString normalizedKey(const QString& key);
// "ドライブ C:" or "共有フォルダー \\SRV\SHARE", as messages name a root.
QString describeKey(const QString& key);

// The user's choices, kept in the user's settings (QSettings "orvalent"/"orvalent", so
// ~/.config/orvalent/orvalent.conf on Linux). Nothing else is written, and reading writes nothing.
QList<Root> roots();
// The folder for a root; empty when none is chosen.
QString folderFor(const QString& key);
// Chooses the folder for a root, in place of the one it had. Refused for a key that names no root
// and for a folder that is not an absolute path; a failure to write the settings is reported.
Result storeRoot(const QString& key, const QString& folder);
Result forgetRoot(const QString& key);
// As storeRoot and forgetRoot, for callers that go on whatever happens: a failure goes to the log.
void setRoot(const QString& key, const QString& folder);
void removeRoot(const QString& key);

} // namespace OldFiles
