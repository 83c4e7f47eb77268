#pragma once

#include "core/Result.h"

#include <QString>

#include <optional>

struct sqlite3;

// The two tables of the memo book.
namespace Schema {

inline const QString MemoTable = QStringLiteral("メモ帳");
inline const QString PathTable = QStringLiteral("パス");

// The layout of the memo book that this program reads and writes, kept in the file's header
// (PRAGMA user_version). Books made before it was kept carry 0.
inline constexpr int Version = 1;

// Makes a new memo book with an empty memo table. An existing file is never touched:
// the call fails instead.
Result createMemoBook(const QString& path);

// Adds the memo table and its indexes to an open, empty database.
Result createMemoTable(sqlite3* db);

enum class PathTableOutcome {
    Made,        // the table and its index were added
    LeftAsItWas, // a table of that name exists, or a later step failed: nothing is reported
    CannotOpen,  // the file cannot be opened as a database
};

// Adds the table of registered applications when the file has none. Any table of that
// name, whatever its layout, is left as it is.
PathTableOutcome makePathTable(const QString& databasePath, QString* why = nullptr);

enum class UpgradeOutcome {
    Current,  // the book is of this program's version
    Upgraded, // an older book was brought to this version
    Newer,    // the book was written by a newer program; nothing was changed
    Failed,   // it could not be read or upgraded; nothing was changed
};

// The version in a memo book's header, read without writing or waiting; nullopt when it cannot
// be read (no file, not a database, locked).
std::optional<int> storedVersion(const QString& databasePath);

// Brings a memo book of an older version to this program's, every step in one transaction
// that is rolled back whole when a step fails; before anything else opens the book. The
// version found is told in *found.
UpgradeOutcome upgrade(const QString& databasePath, int* found = nullptr, Result* why = nullptr);

// Samples the indexes so that the engine can plan well: with the figures in the file, a list
// of the distinct keywords skips from one value to the next instead of reading every memo's
// entry. Cheap (a few hundred rows of each index are read); a failure changes nothing. Uses
// a connection of its own and may run on any thread.
void refreshStatistics(const QString& databasePath);

} // namespace Schema
