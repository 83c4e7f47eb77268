#pragma once

#include "core/BackgroundTask.h"
#include "core/Result.h"
#include "db/SqliteHandle.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

class ChangeJournal;
struct sqlite3;

// Finds the memos that hold all of a search's folded words, by the index file or by the memo
// book itself, and always as the memo book holds them now: memos this program changed since
// the index or a reading of the book last saw them are judged by their stored text.
//
// A reading of the whole book takes seconds on a large one; it can be made off the window's
// thread (scanBook) and kept (keepScan) as the answer to its words for as long as no other
// program changes the book.
class IndexSearch
{
public:
    IndexSearch(sqlite3* book, const ChangeJournal& journal);
    ~IndexSearch();
    IndexSearch(const IndexSearch&) = delete;
    IndexSearch& operator=(const IndexSearch&) = delete;

    // Opens the index file for searching; fails when it is not an index of this format that
    // this program may write.
    Result open(const QString& indexPath);
    void close();
    bool isOpen() const { return m_db != nullptr; }

    // From the index, with this program's changes not yet written into it judged by their text.
    Result fromIndex(const QStringList& words, QVector<qint64>& ids);
    // From the memo book: the reading kept for these words when it still holds, else a reading
    // of every memo on this thread.
    Result fromBook(const QStringList& words, QVector<qint64>& ids);
    // The reading kept for these words, when no other program changed the book since it began.
    bool fromKeptScan(const QStringList& words, QVector<qint64>& ids);

    // A reading of the whole book under way: what this program changes meanwhile is noted, so
    // that the reading's answer can be kept.
    using ScanTicket = quint64;
    ScanTicket beginScan();
    void keepScan(ScanTicket ticket, const QStringList& words, QVector<qint64> ids);
    void dropScan(ScanTicket ticket);
    void dropKeptScan();
    // A memo this program has changed.
    void noteChange(qint64 id);

    // Reads every memo of the book at bookPath on a connection of the calling thread's own, in
    // short batches so that saves need not wait, and keeps those that hold all the words.
    static Result scanBook(const QString& bookPath, const QStringList& words, const BackgroundTask::Stop& stop,
                           QVector<qint64>& ids);
    // A memo's searched text as stored now; exists is false for a memo deleted.
    static Result readStored(sqlite3* book, qint64 id, QByteArray& body, bool& exists);
    // Counts the changes that other connections have committed to the book.
    static qint64 bookVersion(sqlite3* book);

private:
    Result queryIndex(const QStringList& words, QVector<qint64>& ids);
    // Puts in or takes out each of the memos named by their stored text.
    void judgeStored(const QList<qint64>& changed, const QStringList& words, QVector<qint64>& ids) const;

    struct Scan
    {
        qint64 version = -1;
        QSet<qint64> changed;
    };
    struct KeptScan
    {
        Scan scan;
        QStringList words;
        QVector<qint64> ids;
    };

    sqlite3* m_book;
    const ChangeJournal& m_journal;
    QString m_indexPath;
    SqliteHandle m_db;      // the index
    SqliteHandle m_upperDb; // the index, for the upper half of a search's IDs
    ScanTicket m_nextTicket = 0;
    QHash<ScanTicket, Scan> m_scans;
    std::optional<KeptScan> m_kept;
};
