#include "db/index/MemoIndexFile.h"

#include "core/Log.h"
#include "db/BusyWait.h"
#include "db/Schema.h"
#include "db/Statement.h"
#include "db/index/FullTextTokenizer.h"

#include <QFile>
#include <QVector>

#include <sqlite3.h>

#include <optional>

#include <atomic>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <thread>

#include <time.h>

namespace {

constexpr int BuildBatch = 2000;
constexpr int VerifyBatch = 5000;
constexpr int VerifyAttempts = 5;

const QString SelectRows = QStringLiteral("SELECT ID, %1 FROM main.%2 WHERE ID > ?1 ORDER BY ID LIMIT ?2")
                               .arg(QString::fromUtf8(MemoIndexFile::Fields), quoteIdentifier(Schema::MemoTable));

// The statements that make an index; the full-text tables keep no copy of the texts. The two
// full-text tables are made at once on two threads, the one of single characters in a file of
// its own that is then copied in.
const char* const CreateSql[] = {
    "CREATE TABLE memo_meta (key TEXT PRIMARY KEY, value)",
    "CREATE TABLE memo_rows (ID INTEGER PRIMARY KEY, fingerprint INTEGER NOT NULL)",
    "CREATE VIRTUAL TABLE memo_pairs USING fts5(body, tokenize='orv_ngram pairs', content='', columnsize=0, "
    "detail=full)",
};
const char* const CreateCharsSql =
    "CREATE VIRTUAL TABLE memo_chars USING fts5(body, tokenize='orv_ngram chars', content='', columnsize=0, "
    "detail=none)";
// The shadow tables that hold all of a contentless full-text table without sizes; copied row
// by row they are the same index in another file.
const char* const CharsShadowTables[] = {"memo_chars_data", "memo_chars_idx"};

// While the index is made its segments are left unmerged and merged once at the end: each
// entry is then written twice instead of once for every level of merging. A larger buffer of
// pending entries makes fewer segments to merge, and pages of 16 KB (in the file and in the
// full-text table) fewer pages to write and to merge.
const char* const BuildPairsSql[] = {
    "INSERT INTO memo_pairs(memo_pairs, rank) VALUES('pgsz', 16000)",
    "INSERT INTO memo_pairs(memo_pairs, rank) VALUES('hashsize', 67108864)",
    "INSERT INTO memo_pairs(memo_pairs, rank) VALUES('automerge', 0)",
    "INSERT INTO memo_pairs(memo_pairs, rank) VALUES('crisismerge', 2000)",
};
const char* const BuildCharsSql[] = {
    "INSERT INTO memo_chars(memo_chars, rank) VALUES('hashsize', 16777216)",
    "INSERT INTO memo_chars(memo_chars, rank) VALUES('automerge', 0)",
    "INSERT INTO memo_chars(memo_chars, rank) VALUES('crisismerge', 2000)",
};

// The merging of the index in use: a save adds a small segment, and small ones are merged
// a little at a time as further saves come.
const char* const InUseSql[] = {
    "INSERT INTO memo_pairs(memo_pairs, rank) VALUES('automerge', 4)",
    "INSERT INTO memo_chars(memo_chars, rank) VALUES('automerge', 4)",
    "INSERT INTO memo_pairs(memo_pairs, rank) VALUES('crisismerge', 16)",
    "INSERT INTO memo_chars(memo_chars, rank) VALUES('crisismerge', 16)",
};

struct Row
{
    qint64 id;
    QByteArray body;
};

// Reads the next batch of memos after the ID given. The statement is reset before returning,
// so that the memo book is not held.
Result readRows(Statement& select, qint64 after, int limit, QVector<Row>& rows)
{
    rows.clear();
    sqlite3_reset(select.handle());
    select.bindInt64(1, after);
    select.bindInt64(2, limit);
    Statement::Step step;
    while ((step = select.step()) == Statement::Step::Row)
        rows.append({select.int64(0), MemoIndexFile::body(select.handle(), 1)});
    sqlite3_reset(select.handle());
    return step == Statement::Step::Error ? select.lastError() : Result::success();
}

Result bindAndRun(Statement& statement, qint64 id, const QByteArray* text)
{
    if (!statement.prepared())
        return statement.prepared();
    sqlite3_reset(statement.handle());
    sqlite3_bind_int64(statement.handle(), 1, id);
    if (text)
        sqlite3_bind_text(statement.handle(), 2, text->constData(), int(text->size()), SQLITE_STATIC);
    const Result done = statement.exec();
    sqlite3_reset(statement.handle());
    return done;
}

// The statements that write one memo into an index, prepared once for a series of memos.
struct Writer
{
    explicit Writer(sqlite3* db)
        : pairs(db, QStringLiteral("INSERT INTO memo_pairs(rowid, body) VALUES(?1, ?2)")),
          chars(db, QStringLiteral("INSERT INTO memo_chars(rowid, body) VALUES(?1, ?2)")),
          row(db, QStringLiteral("INSERT OR REPLACE INTO memo_rows(ID, fingerprint) VALUES(?1, ?2)"))
    {}

    Result insert(qint64 id, const QByteArray& body)
    {
        if (Result r = bindAndRun(pairs, id, &body); !r)
            return r;
        if (Result r = bindAndRun(chars, id, &body); !r)
            return r;
        if (!row.prepared())
            return row.prepared();
        sqlite3_reset(row.handle());
        sqlite3_bind_int64(row.handle(), 1, id);
        sqlite3_bind_int64(row.handle(), 2, MemoIndexFile::fingerprint(id, body));
        return row.exec();
    }

    Statement pairs;
    Statement chars;
    Statement row;
};

} // namespace

QString MemoIndexFile::pathFor(const QString& bookPath)
{
    return bookPath + QStringLiteral("-fts");
}

QByteArray MemoIndexFile::body(sqlite3_stmt* row, int firstField)
{
    QByteArray joined;
    for (int i = 0; i < FieldCount; ++i) {
        if (i > 0)
            joined.append('\n');
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(row, firstField + i));
        if (text)
            joined.append(text, sqlite3_column_bytes(row, firstField + i));
    }
    return joined;
}

QByteArray MemoIndexFile::body(const QList<QByteArray>& fields)
{
    return fields.join('\n');
}

qint64 MemoIndexFile::fingerprint(qint64 id, const QByteArray& body)
{
    // Eight bytes at a time through a multiply-rotate mix, then a final avalanche: a change
    // anywhere in the text changes the result.
    constexpr quint64 K = 0x9E3779B97F4A7C15ULL;
    quint64 h = quint64(id) * K ^ quint64(body.size());
    const char* p = body.constData();
    qsizetype left = body.size();
    while (left > 0) {
        quint64 word = 0;
        const qsizetype n = qMin<qsizetype>(8, left);
        std::memcpy(&word, p, size_t(n));
        h = (h ^ word) * K;
        h = (h << 31) | (h >> 33);
        p += n;
        left -= n;
    }
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDULL;
    h ^= h >> 33;
    return qint64(h);
}

SqliteHandle MemoIndexFile::openConnection(const QString& path, bool readOnly, bool create, Result* error)
{
    int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    if (create && !readOnly)
        flags |= SQLITE_OPEN_CREATE;
    Result done;
    SqliteHandle db = openSqlite(path, flags | SQLITE_OPEN_NOMUTEX, &done);
    if (db) {
        BusyWait::install(db.get()); // clock time, as every connection of the program waits
        done = FullTextTokenizer::registerOn(db.get());
    }
    if (error)
        *error = done;
    return done ? std::move(db) : nullptr;
}

Result MemoIndexFile::check(sqlite3* db, const char* schema)
{
    const QString s = QString::fromLatin1(schema);
    Statement format(db, QStringLiteral("SELECT value FROM %1.memo_meta WHERE key = 'format'").arg(s));
    if (!format.prepared())
        return format.prepared();
    if (format.step() != Statement::Step::Row || format.int64(0) != Format)
        return Result::failure(QStringLiteral("the index is of another format"));
    // Each table is read once, which also finds a file that is damaged where they begin.
    for (const char* probeSql : {"SELECT ID FROM %1.memo_rows LIMIT 1",
                                 "SELECT rowid FROM %1.memo_pairs WHERE memo_pairs MATCH '\"ab\"' LIMIT 1",
                                 "SELECT rowid FROM %1.memo_chars WHERE memo_chars MATCH '\"a\"' LIMIT 1"}) {
        Statement probe(db, QString::fromLatin1(probeSql).arg(s));
        if (!probe.prepared())
            return probe.prepared();
        if (probe.step() == Statement::Step::Error)
            return probe.lastError();
    }
    return Result::success();
}

Result MemoIndexFile::apply(sqlite3* db, qint64 id, const QList<QByteArray>& oldBodies, const QByteArray* current)
{
    // The index holds one body of the memo at most, known by its fingerprint. Only that one is
    // taken out: taking out a body the index never held would damage its contentless tables,
    // and a memo changed while the index was made may be held in any of its versions, or not
    // at all.
    Statement held(db, QStringLiteral("SELECT fingerprint FROM memo_rows WHERE ID = ?1"));
    if (!held.prepared())
        return held.prepared();
    held.bindInt64(1, id);
    std::optional<qint64> heldPrint;
    switch (held.step()) {
    case Statement::Step::Row:
        heldPrint = held.int64(0);
        break;
    case Statement::Step::Done:
        break;
    case Statement::Step::Error:
        return held.lastError();
    }
    if (heldPrint && current && *heldPrint == fingerprint(id, *current))
        return Result::success();
    if (heldPrint) {
        const QByteArray* old = nullptr;
        for (const QByteArray& candidate : oldBodies) {
            if (fingerprint(id, candidate) == *heldPrint) {
                old = &candidate;
                break;
            }
        }
        if (!old)
            return Result::failure(QStringLiteral("the index holds a version of memo %1 that is not known").arg(id),
                                   Result::Cause::Other);
        for (const char* table : {"memo_pairs", "memo_chars"}) {
            Statement remove(
                db,
                QStringLiteral("INSERT INTO %1(%1, rowid, body) VALUES('delete', ?1, ?2)").arg(QLatin1String(table)));
            if (Result r = bindAndRun(remove, id, old); !r)
                return r;
        }
    }
    if (current)
        return Writer(db).insert(id, *current);
    if (!heldPrint)
        return Result::success();
    Statement forget(db, QStringLiteral("DELETE FROM memo_rows WHERE ID = ?1"));
    return bindAndRun(forget, id, nullptr);
}

namespace {

// The processor time of the calling thread so far, in seconds.
double threadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

Result execAll(sqlite3* db, std::initializer_list<const char*> statements)
{
    for (const char* sql : statements) {
        if (Result r = Statement::run(db, QString::fromUtf8(sql)); !r)
            return r;
    }
    return Result::success();
}

// A file being made: nothing in it needs to survive a crash, since an unfinished index is made
// again, so it is written without a journal and without waiting for the disk.
Result startFile(sqlite3* db, std::initializer_list<const char*> settings)
{
    if (Result r = execAll(db, {"PRAGMA journal_mode = OFF", "PRAGMA synchronous = OFF"}); !r)
        return r;
    if (Result r = execAll(db, settings); !r)
        return r;
    return Statement::run(db, QStringLiteral("BEGIN"));
}

// Reads every memo of the book, in short batches so that saves need not wait, and hands each
// to write. Each part of a build reads the book on its own; a memo saved meanwhile may be read
// before the save by one part and after it by the other, and the save is replayed into both.
Result readAll(const QString& bookPath, MemoIndexFile::Progress& progress, const std::atomic<bool>& stop,
               const std::function<Result(qint64 id, const QByteArray& body)>& write)
{
    Result opened;
    const SqliteHandle in = MemoIndexFile::openConnection(bookPath, true, false, &opened);
    if (!in.get())
        return opened;
    Statement select(in.get(), SelectRows);
    if (!select.prepared())
        return select.prepared();
    QVector<Row> rows;
    rows.reserve(BuildBatch);
    qint64 last = 0;
    for (;;) {
        if (progress.cancel || stop)
            return Result::failure(QStringLiteral("cancelled"));
        if (Result r = readRows(select, last, BuildBatch, rows); !r)
            return r;
        for (const Row& row : std::as_const(rows)) {
            if (Result r = write(row.id, row.body); !r)
                return r;
        }
        progress.done += rows.size();
        if (rows.size() < BuildBatch)
            return Result::success();
        last = rows.last().id;
    }
}

// One segment per table to start with: the saves that follow merge only their own small ones.
Result optimize(sqlite3* db, const char* table, MemoIndexFile::Progress& progress)
{
    if (progress.cancel)
        return Result::failure(QStringLiteral("cancelled"));
    return Statement::run(db, QStringLiteral("INSERT INTO %1(%1) VALUES('optimize')").arg(QLatin1String(table)));
}

// The table of single characters, made in a file of its own.
Result buildChars(const QString& bookPath, const QString& file, MemoIndexFile::Progress& progress,
                  const std::atomic<bool>& stop)
{
    QFile::remove(file);
    Result opened;
    const SqliteHandle out = MemoIndexFile::openConnection(file, false, true, &opened);
    if (!out.get())
        return opened;
    if (Result r = startFile(out.get(), {"PRAGMA cache_size = -16000"}); !r)
        return r;
    if (Result r = Statement::run(out.get(), QString::fromUtf8(CreateCharsSql)); !r)
        return r;
    for (const char* sql : BuildCharsSql) {
        if (Result r = Statement::run(out.get(), QString::fromUtf8(sql)); !r)
            return r;
    }
    Statement chars(out.get(), QStringLiteral("INSERT INTO memo_chars(rowid, body) VALUES(?1, ?2)"));
    if (Result r = readAll(bookPath, progress, stop,
                           [&chars](qint64 id, const QByteArray& body) { return bindAndRun(chars, id, &body); });
        !r)
        return r;
    if (Result r = optimize(out.get(), "memo_chars", progress); !r)
        return r;
    return Statement::run(out.get(), QStringLiteral("COMMIT"));
}

// Takes the table of single characters over from the file in which it was made.
Result copyChars(sqlite3* db, const QString& file)
{
    Statement attach(db, QStringLiteral("ATTACH DATABASE ?1 AS part"));
    attach.bindText(1, file);
    if (Result r = attach.exec(); !r)
        return r;
    Result done = Statement::run(db, QString::fromUtf8(CreateCharsSql));
    for (const char* table : CharsShadowTables) {
        if (done)
            done = Statement::run(db, QStringLiteral("DELETE FROM main.%1").arg(QLatin1String(table)));
        if (done)
            done = Statement::run(
                db, QStringLiteral("INSERT INTO main.%1 SELECT * FROM part.%1").arg(QLatin1String(table)));
    }
    // Detaching needs the transaction ended; the caller commits first.
    return done;
}

} // namespace

Result MemoIndexFile::build(const QString& bookPath, const QString& target, Progress& progress)
{
    const QString charsFile = target + QStringLiteral("-chars");
    for (const QString& leftover : {target, target + QStringLiteral("-journal"), charsFile})
        QFile::remove(leftover);
    Result opened;
    const SqliteHandle out = openConnection(target, false, true, &opened);
    if (!out.get())
        return opened;
    if (Result r = startFile(out.get(), {"PRAGMA page_size = 16384", "PRAGMA cache_size = -65536"}); !r)
        return r;
    for (const char* sql : CreateSql) {
        if (Result r = Statement::run(out.get(), QString::fromUtf8(sql)); !r)
            return r;
    }
    for (const char* sql : BuildPairsSql) {
        if (Result r = Statement::run(out.get(), QString::fromUtf8(sql)); !r)
            return r;
    }
    {
        const SqliteHandle in = openConnection(bookPath, true, false, &opened);
        if (!in.get())
            return opened;
        Statement count(in.get(),
                        QStringLiteral("SELECT count(*) FROM main.%1").arg(quoteIdentifier(Schema::MemoTable)));
        if (count.step() != Statement::Step::Row)
            return count.lastError();
        // Each memo is read twice, once for each part.
        progress.total = 2 * count.int64(0);
    }

    // The single characters on a thread of their own (on Linux it keeps the lowered priority of
    // the thread that starts it), the pairs and the fingerprints here; a part that fails stops
    // the other.
    std::atomic<bool> stop{false};
    Result charsBuilt;
    double charsSeconds = 0;
    const double started = threadSeconds();
    std::thread chars([&] {
        charsBuilt = buildChars(bookPath, charsFile, progress, stop);
        charsSeconds = threadSeconds();
        if (!charsBuilt)
            stop = true;
    });
    Statement pairs(out.get(), QStringLiteral("INSERT INTO memo_pairs(rowid, body) VALUES(?1, ?2)"));
    Statement row(out.get(), QStringLiteral("INSERT INTO memo_rows(ID, fingerprint) VALUES(?1, ?2)"));
    Result built = readAll(bookPath, progress, stop, [&](qint64 id, const QByteArray& body) {
        if (Result r = bindAndRun(pairs, id, &body); !r)
            return r;
        sqlite3_reset(row.handle());
        sqlite3_bind_int64(row.handle(), 1, id);
        sqlite3_bind_int64(row.handle(), 2, fingerprint(id, body));
        return row.exec();
    });
    if (built)
        built = optimize(out.get(), "memo_pairs", progress);
    const double pairsSeconds = threadSeconds() - started;
    if (!built)
        stop = true;
    chars.join();
    if (built && !charsBuilt)
        built = charsBuilt;
    if (built)
        built = copyChars(out.get(), charsFile);
    for (const char* sql : InUseSql) {
        if (built)
            built = Statement::run(out.get(), QString::fromLatin1(sql));
    }
    if (built) {
        Statement format(out.get(), QStringLiteral("INSERT INTO memo_meta(key, value) VALUES('format', ?1)"));
        format.bindInt64(1, Format);
        built = format.exec();
    }
    if (built)
        built = Statement::run(out.get(), QStringLiteral("COMMIT"));
    (void)Statement::run(out.get(), QStringLiteral("DETACH DATABASE part"));
    QFile::remove(charsFile);
    if (!built)
        return built;
    // The longer of the two is about the time that the index takes with two processors free.
    qCInfo(lcDb, "index of %lld memos made: pairs %.1f s, characters %.1f s, copying them %.1f s of processor time",
           static_cast<long long>(progress.total / 2), pairsSeconds, charsSeconds,
           threadSeconds() - started - pairsSeconds);
    // In use, searches read while saves are written and merged, neither waiting for the other.
    Statement wal(out.get(), QStringLiteral("PRAGMA journal_mode = WAL"));
    if (wal.step() != Statement::Step::Row || wal.value(0).toString() != QLatin1String("wal"))
        return Result::failure(QStringLiteral("the index cannot be written ahead"));
    return Result::success();
}

Result MemoIndexFile::readMemos(const QString& bookPath, const std::atomic<bool>& stop,
                                const std::function<Result(qint64 id, const QByteArray& body)>& each)
{
    Progress progress;
    return readAll(bookPath, progress, stop, each);
}

MemoIndexFile::Verdict MemoIndexFile::verify(const QString& bookPath, const QString& indexPath, Progress& progress,
                                             const std::function<bool(qint64)>& inFlux,
                                             const std::function<quint64()>& changes)
{
    Result opened;
    const SqliteHandle db = openConnection(bookPath, true, false, &opened);
    if (!db.get())
        return Verdict::Unchecked; // nothing to compare with; the book's own windows say why
    Statement attach(db.get(), QStringLiteral("ATTACH DATABASE ?1 AS idx"));
    attach.bindText(1, indexPath);
    if (!attach.exec() || !check(db.get(), "idx"))
        return Verdict::Stale;
    {
        Statement count(db.get(),
                        QStringLiteral("SELECT count(*) FROM main.%1").arg(quoteIdentifier(Schema::MemoTable)));
        if (count.step() == Statement::Step::Row)
            progress.total = count.int64(0);
    }

    Statement select(db.get(), SelectRows);
    Statement indexed(
        db.get(), QStringLiteral("SELECT ID, fingerprint FROM idx.memo_rows WHERE ID > ?1 AND ID <= ?2 ORDER BY ID"));
    if (!select.prepared() || !indexed.prepared())
        return Verdict::Stale;
    QVector<Row> rows;
    QVector<std::pair<qint64, qint64>> prints;
    qint64 last = 0;
    for (;;) {
        bool settled = false;
        bool end = false;
        for (int attempt = 0; attempt < VerifyAttempts && !settled; ++attempt) {
            if (progress.cancel)
                return Verdict::Cancelled;
            const quint64 before = changes();
            // Both files are read in one transaction, so that they are compared as they stood
            // at one moment.
            if (!Statement::run(db.get(), QStringLiteral("BEGIN")))
                return Verdict::Stale;
            Result read = readRows(select, last, VerifyBatch, rows);
            end = rows.size() < VerifyBatch;
            prints.clear();
            if (read) {
                sqlite3_reset(indexed.handle());
                indexed.bindInt64(1, last);
                indexed.bindInt64(2, end ? std::numeric_limits<qint64>::max() : rows.last().id);
                Statement::Step step;
                while ((step = indexed.step()) == Statement::Step::Row)
                    prints.append({indexed.int64(0), indexed.int64(1)});
                sqlite3_reset(indexed.handle());
                if (step == Statement::Step::Error)
                    read = indexed.lastError();
            }
            (void)Statement::run(db.get(), QStringLiteral("COMMIT"));
            if (!read)
                return Verdict::Stale;
            settled = changes() == before;
        }
        if (!settled)
            return Verdict::Unchecked; // the user keeps saving; the next start compares again
        qsizetype i = 0;
        qsizetype j = 0;
        while (i < rows.size() || j < prints.size()) {
            const qint64 memoId = i < rows.size() ? rows[i].id : std::numeric_limits<qint64>::max();
            const qint64 indexId = j < prints.size() ? prints[j].first : std::numeric_limits<qint64>::max();
            const qint64 id = qMin(memoId, indexId);
            const bool same = memoId == indexId && fingerprint(memoId, rows[i].body) == prints[j].second;
            if (!same && !inFlux(id))
                return Verdict::Stale;
            if (memoId == id)
                ++i;
            if (indexId == id)
                ++j;
        }
        progress.done += rows.size();
        if (end)
            return Verdict::Current;
        last = rows.last().id;
    }
}
