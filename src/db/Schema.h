#pragma once

#include "core/Result.h"

#include <QString>

struct sqlite3;

// The two tables of the memo book.
namespace Schema {

inline const QString MemoTable = QStringLiteral("メモ帳");
inline const QString PathTable = QStringLiteral("パス");

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

// Samples the indexes so that the engine can plan well: with the figures in the file, a list
// of the distinct keywords skips from one value to the next instead of reading every memo's
// entry. Cheap (a few hundred rows of each index are read); a failure changes nothing. Uses
// a connection of its own and may run on any thread.
void refreshStatistics(const QString& databasePath);

} // namespace Schema
