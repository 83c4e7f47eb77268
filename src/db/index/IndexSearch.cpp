#include "db/index/IndexSearch.h"

#include "core/TextFold.h"
#include "db/MemoSearch.h"
#include "db/Schema.h"
#include "db/Statement.h"
#include "db/index/ChangeJournal.h"
#include "db/index/MemoIndexFile.h"

#include <sqlite3.h>

#include <algorithm>
#include <thread>

namespace {

// The IDs up to middle (or above it) that a full-text table finds for a query, ascending. One
// bound each: the full-text engine checks two bounds more slowly than one.
Result matchIds(sqlite3* db, const QString& table, const QString& query, qint64 middle, bool upper,
                QVector<qint64>& ids)
{
    Statement match(db, QStringLiteral("SELECT rowid FROM %1 WHERE %1 MATCH ?1 AND rowid %2 ?2 ORDER BY rowid")
                            .arg(table, upper ? QStringLiteral(">") : QStringLiteral("<=")));
    match.bindText(1, query);
    match.bindInt64(2, middle);
    Statement::Step step;
    while ((step = match.step()) == Statement::Step::Row)
        ids.append(match.int64(0));
    return step == Statement::Step::Error ? match.lastError() : Result::success();
}

bool holdsAll(const QByteArray& body, const QStringList& words)
{
    return TextFold::containsAll(TextFold::fold(QString::fromUtf8(body)), words);
}

} // namespace

IndexSearch::IndexSearch(sqlite3* book, const ChangeJournal& journal) : m_book(book), m_journal(journal) {}

IndexSearch::~IndexSearch()
{
    close();
}

Result IndexSearch::open(const QString& indexPath)
{
    close();
    Result opened;
    m_db = MemoIndexFile::openConnection(indexPath, false, false, &opened);
    if (m_db && sqlite3_db_readonly(m_db.get(), "main") == 1)
        opened = Result::failure(QStringLiteral("the index file is read-only"));
    if (opened)
        opened = MemoIndexFile::check(m_db.get());
    if (opened)
        opened = Statement::run(m_db.get(), QStringLiteral("PRAGMA synchronous = OFF"));
    if (!opened) {
        close();
        return opened;
    }
    m_indexPath = indexPath;
    return Result::success();
}

void IndexSearch::close()
{
    m_upperDb.reset();
    m_db.reset();
}

Result IndexSearch::fromIndex(const QStringList& words, QVector<qint64>& ids)
{
    ids.clear();
    if (words.isEmpty())
        return Result::success();
    if (Result found = queryIndex(words, ids); !found)
        return found;
    // Memos saved but not yet written into the index are judged by their stored text.
    judgeStored(m_journal.ids(), words, ids);
    return Result::success();
}

Result IndexSearch::fromBook(const QStringList& words, QVector<qint64>& ids)
{
    if (fromKeptScan(words, ids))
        return Result::success();
    return MemoSearch::scan(m_book, words, ids);
}

bool IndexSearch::fromKeptScan(const QStringList& words, QVector<qint64>& ids)
{
    if (!m_kept || m_kept->words != words || m_kept->scan.version != bookVersion(m_book))
        return false;
    ids = m_kept->ids;
    judgeStored(m_kept->scan.changed.values(), words, ids);
    return true;
}

IndexSearch::ScanTicket IndexSearch::beginScan()
{
    Scan scan;
    scan.version = bookVersion(m_book);
    // A change noted but not stored yet may be stored after the reading has passed its memo.
    for (qint64 id : m_journal.ids())
        scan.changed.insert(id);
    const ScanTicket ticket = ++m_nextTicket;
    m_scans.insert(ticket, scan);
    return ticket;
}

void IndexSearch::keepScan(ScanTicket ticket, const QStringList& words, QVector<qint64> ids)
{
    const auto it = m_scans.constFind(ticket);
    if (it == m_scans.cend())
        return;
    m_kept = KeptScan{*it, words, std::move(ids)};
    m_scans.erase(it);
}

void IndexSearch::dropScan(ScanTicket ticket)
{
    m_scans.remove(ticket);
}

void IndexSearch::dropKeptScan()
{
    m_kept.reset();
}

void IndexSearch::noteChange(qint64 id)
{
    for (Scan& scan : m_scans)
        scan.changed.insert(id);
    if (m_kept)
        m_kept->scan.changed.insert(id);
}

void IndexSearch::judgeStored(const QList<qint64>& changed, const QStringList& words, QVector<qint64>& ids) const
{
    for (qint64 id : changed) {
        QByteArray current;
        bool exists = false;
        if (!readStored(m_book, id, current, exists))
            continue;
        const bool match = exists && holdsAll(current, words);
        const auto at = std::lower_bound(ids.begin(), ids.end(), id);
        const bool listed = at != ids.end() && *at == id;
        if (match && !listed)
            ids.insert(at, id);
        else if (!match && listed)
            ids.erase(at);
    }
}

Result IndexSearch::queryIndex(const QStringList& words, QVector<qint64>& ids)
{
    // Words of one character are looked up among the characters, longer words as phrases of
    // pairs; each word is one quoted string, so no word is ever read as query syntax.
    QStringList single;
    QStringList longer;
    for (const QString& word : words) {
        const bool one = word.size() == 1 || (word.size() == 2 && word.at(0).isHighSurrogate());
        QString quoted = word;
        quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        (one ? single : longer).append(QLatin1Char('"') + quoted + QLatin1Char('"'));
    }
    // The IDs are read in two halves at once, the upper one by a second connection on a thread
    // of its own: a word found in half a million memos takes half the time with two processors.
    if (!m_upperDb)
        m_upperDb = MemoIndexFile::openConnection(m_indexPath, false, false, nullptr);
    qint64 middle = 0;
    {
        Statement last(m_db.get(), QStringLiteral("SELECT max(ID) FROM memo_rows"));
        if (last.step() == Statement::Step::Row)
            middle = last.int64(0) / 2;
    }
    QVector<qint64> result;
    bool first = true;
    for (const auto& [table, terms] :
         {std::pair{QStringLiteral("memo_pairs"), longer}, std::pair{QStringLiteral("memo_chars"), single}}) {
        if (terms.isEmpty())
            continue;
        const QString query = terms.join(QStringLiteral(" AND "));
        QVector<qint64> upper;
        Result upperRead;
        auto readUpper = [&, table = table](sqlite3* db) {
            upperRead = matchIds(db, table, query, middle, true, upper);
        };
        // Joined before this function returns, inside the statement that asked: a task that
        // hands its result back through the event loop cannot serve a statement under way.
        std::thread reader;
        if (m_upperDb)
            reader = std::thread(readUpper, m_upperDb.get());
        QVector<qint64> found;
        const Result lowerRead = matchIds(m_db.get(), table, query, middle, false, found);
        if (reader.joinable())
            reader.join();
        else
            readUpper(m_db.get()); // no second connection: one after the other

        if (!lowerRead)
            return lowerRead;
        if (!upperRead)
            return upperRead;
        found.append(upper);
        if (first) {
            result = std::move(found);
            first = false;
        } else {
            QVector<qint64> both;
            std::set_intersection(result.cbegin(), result.cend(), found.cbegin(), found.cend(),
                                  std::back_inserter(both));
            result = std::move(both);
        }
    }
    ids = std::move(result);
    return Result::success();
}

Result IndexSearch::scanBook(const QString& bookPath, const QStringList& words, const BackgroundTask::Stop& stop,
                             QVector<qint64>& ids)
{
    ids.clear();
    return MemoIndexFile::readMemos(bookPath, stop, [&](qint64 id, const QByteArray& body) {
        if (holdsAll(body, words))
            ids.append(id);
        return Result::success();
    });
}

Result IndexSearch::readStored(sqlite3* book, qint64 id, QByteArray& body, bool& exists)
{
    Statement row(book, QStringLiteral("SELECT %1 FROM main.%2 WHERE ID = ?1")
                            .arg(QString::fromUtf8(MemoIndexFile::Fields), quoteIdentifier(Schema::MemoTable)));
    row.bindInt64(1, id);
    switch (row.step()) {
    case Statement::Step::Row:
        body = MemoIndexFile::body(row.handle(), 0);
        exists = true;
        return Result::success();
    case Statement::Step::Done:
        exists = false;
        return Result::success();
    case Statement::Step::Error:
        break;
    }
    return row.lastError();
}

qint64 IndexSearch::bookVersion(sqlite3* book)
{
    if (!book)
        return -1;
    Statement version(book, QStringLiteral("PRAGMA main.data_version"));
    return version.step() == Statement::Step::Row ? version.int64(0) : -1;
}
