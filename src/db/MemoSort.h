#pragma once

#include <QString>
#include <QVector>

struct sqlite3;

// Puts memo IDs found elsewhere (by the full-text index) into the order of a field, as
// "... WHERE ID IN (<them>) ORDER BY <field> [DESC]" gives them, without looking each memo up:
// the field's own index is walked and the IDs found are picked out of it. SQLite's sort keeps
// memos of equal values in the order it found them, by ascending ID, whichever the direction;
// the walk gives the same.
namespace MemoSort {

// The memo table's index on the field alone, in the field's own collation; empty when it has
// none that can stand in for the sort.
QString indexFor(sqlite3* db, const QString& field);

// Sorts ids (ascending, as found) by the field through its index. False when the field has no
// such index or the walk fails: ids are then as they were.
bool byField(sqlite3* db, const QString& field, bool descending, QVector<qint64>& ids);

// Whether so many memos were found that walking the whole index costs less than SQLite's
// looking each of them up and sorting them.
bool walkPays(sqlite3* db, qsizetype found);

} // namespace MemoSort
