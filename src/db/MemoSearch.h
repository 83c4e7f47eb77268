#pragma once

#include "core/Result.h"

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

// Reads every memo of the connection's memo book and keeps those that hold all the words.
Result scan(sqlite3* db, const QStringList& words, QVector<qint64>& ids);

} // namespace MemoSearch
