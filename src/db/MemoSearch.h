#pragma once

#include "core/Result.h"
#include "db/FullTextQuery.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

struct sqlite3;

// The full-text search as the memo book's connection offers it to query texts: a table
// function 全文検索 that gives the IDs of the memos in which all the words of a search text
// occur, in any field. A search statement is then of the same shape as the other searches,
// "SELECT * FROM メモ帳 WHERE ID IN (SELECT ID FROM 全文検索('...'))", so that it can be
// sorted and run again as they are.
namespace MemoSearch {

// Finds the IDs for folded words, ascending; installed per connection.
using Finder = std::function<Result(const QStringList& words, QVector<qint64>& ids)>;

// Makes 全文検索 known to a connection; finder must live as long as the connection.
Result install(sqlite3* db, const Finder* finder);

// The search condition for a text as the user typed it: the text goes into the statement as
// one quoted value, so that nothing in it is read as statement or query syntax.
QString condition(const QString& typed);

// Finds the IDs for folded words only when an index that agrees with the memo book holds
// them all (no memo in it deleted or changed by another program since it was compared); false
// otherwise.
using ExactFinder = std::function<bool(const QStringList& words, QVector<qint64>& ids)>;
// Makes such a finder known for a connection, or forgets it (nullptr).
void setExactFinder(sqlite3* db, const ExactFinder* finder);

// The keys of a full-text search, in the order its statement gives them, read from the index
// without looking each memo up in the memo book; a sort by a field walks that field's index.
// False when the index cannot tell exactly, or the sort is by a field without an index of its
// own, or the memos found are too few for the walk to pay: the statement must then be run.
bool quickKeys(sqlite3* db, const FullTextQuery& query, QVector<qint64>& ids);

// Reads every memo of the connection's memo book and keeps those that hold all the words.
Result scan(sqlite3* db, const QStringList& words, QVector<qint64>& ids);

} // namespace MemoSearch
