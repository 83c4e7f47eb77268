#pragma once

#include "core/Result.h"
#include "db/SqliteHandle.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>

struct sqlite3_stmt;

// The file of the memo index and what is done to it: made anew from the memo book, checked
// against it, and kept current one memo at a time. The index is derived data kept beside the
// memo book ("IDATA2.mdb-fts"): it is never part of the memo book or its backup, and deleting
// it loses nothing but the time to make it again.
//
// It holds two full-text tables without content of their own (the memo book has the texts):
// memo_pairs answers words of two characters or more, memo_chars words of one character (see
// FullTextTokenizer); and memo_rows, a fingerprint of each memo as it was indexed, by which
// a later start tells whether someone changed the memo book without updating the index.
namespace MemoIndexFile {

// Raised whenever what the index holds or how it is cut changes; an index of another format
// is made anew.
inline constexpr int Format = 1;

QString pathFor(const QString& bookPath);

// The searched fields of a memo, in the order in which the index joins them.
inline constexpr const char* Fields = "ｷｰﾜｰﾄﾞ, 検索キー１, 検索キー２, 予備１, 日付, ヘルプファイル, メモ";
inline constexpr int FieldCount = 7;

// The text that the index holds for a memo: its fields joined by line feeds, which separate
// words as blanks do, so that no word runs from one field into the next.
QByteArray body(sqlite3_stmt* row, int firstField);
QByteArray body(const QList<QByteArray>& fields);
// A fingerprint of a memo's ID and text.
qint64 fingerprint(qint64 id, const QByteArray& body);

// Opens a connection of the calling thread's own, with the index's tokenizer, waiting for
// other writers up to the usual timeout.
SqliteHandle openConnection(const QString& path, bool readOnly, bool create, Result* error);

// Whether the file is an index of this format with all its tables; a failure says why not.
Result check(sqlite3* db, const char* schema = "main");

// Writes what a change of one memo means for the index: of the texts it had before (every one
// that may have been indexed), the one that the index holds is taken out, and its current
// text, unless it has been deleted, goes in. A text the index never held is never taken out:
// that would damage it. An index that holds a version of the memo not among them fails.
Result apply(sqlite3* db, qint64 id, const QList<QByteArray>& oldBodies, const QByteArray* current);

struct Progress
{
    std::atomic<qint64> done{0};
    std::atomic<qint64> total{0};
    std::atomic<bool> cancel{false};
};

// Makes a new index of every memo in the file at target, replacing what is there. The memo
// book is read in short batches, so that saves need not wait for the build.
Result build(const QString& bookPath, const QString& target, Progress& progress);

// Hands every memo of the book to each, with the text the index would hold for it, in short
// batches read on a connection of the calling thread's own, so that saves need not wait.
Result readMemos(const QString& bookPath, const std::atomic<bool>& stop,
                 const std::function<Result(qint64 id, const QByteArray& body)>& each);

// Unchecked: kept without having been compared to the end (the book could not be read, or the
// user kept saving), so not known to agree.
enum class Verdict { Current, Stale, Cancelled, Unchecked };
// Compares the index with the memo book, memo by memo. inFlux names memos whose change has been
// saved but not yet written into the index; changes() counts the changes written so far, so
// that a batch read while one was written is read again.
Verdict verify(const QString& bookPath, const QString& indexPath, Progress& progress,
               const std::function<bool(qint64 id)>& inFlux, const std::function<quint64()>& changes);

} // namespace MemoIndexFile
