#include "jet/JetConverter.h"

#include "core/DurableFile.h"
#include "db/Schema.h"
#include "db/SqliteHandle.h"
#include "db/Statement.h"
#include "jet/JetReader.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

using JetConversion::Outcome;

namespace {

// The fields each table has in the program's schema, ID first.
const QStringList MemoFields = {
    QStringLiteral("ID"),     QStringLiteral("日付"),       QStringLiteral("ヘルプファイル"),
    QStringLiteral("ｷｰﾜｰﾄﾞ"), QStringLiteral("検索キー１"), QStringLiteral("検索キー２"),
    QStringLiteral("予備１"), QStringLiteral("メモ")};
const QStringList PathFields = {QStringLiteral("ID"), QStringLiteral("アプリＩＤ"), QStringLiteral("パス")};

QString quoted(const QString& name)
{
    QString text = name;
    text.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

class Writer
{
public:
    bool open(const QString& path)
    {
        Result opened;
        m_db = openSqlite(path, SQLITE_OPEN_READWRITE, &opened);
        if (!m_db) {
            m_openFailure = opened.message;
            return false;
        }
        // The file is new and is put in place only once it is complete, so a crash can cost
        // nothing but this file; it is written without a journal and synced at the end.
        return exec("PRAGMA journal_mode = OFF") && exec("PRAGMA synchronous = OFF") &&
               exec("PRAGMA cache_size = -65536") && exec("PRAGMA threads = 2") && exec("BEGIN");
    }

    // A failure leaves its code and message on the connection, where errorCode() and error()
    // read them as they do after the inserts' own calls.
    bool exec(const QString& sql) { return bool(Statement::run(m_db.get(), sql)); }
    bool exec(const char* sql) { return exec(QString::fromUtf8(sql)); }

    sqlite3* db() const { return m_db.get(); }
    int errorCode() const { return m_db ? sqlite3_errcode(m_db.get()) : SQLITE_CANTOPEN; }
    QString error() const { return m_db ? QString::fromUtf8(sqlite3_errmsg(m_db.get())) : m_openFailure; }

    void close() { m_db.reset(); }

private:
    SqliteHandle m_db;
    QString m_openFailure;
};

// Records read and decoded on a thread of their own while the ones before them are written.
// Batches of records go to the writer and come back to be filled again, so that the values'
// buffers are reused; a few batches at most are on their way at any time.
class RecordPipe
{
public:
    struct Batch
    {
        std::vector<QList<JetReader::Value>> records;
        size_t count = 0;
    };

    explicit RecordPipe(JetReader::Table& source) : m_source(source)
    {
        for (Batch& batch : m_batches) {
            batch.records.resize(BatchRecords);
            m_empty.push_back(&batch);
        }
        m_reader = std::thread([this] { read(); });
    }
    ~RecordPipe() { stop(); }
    RecordPipe(const RecordPipe&) = delete;
    RecordPipe& operator=(const RecordPipe&) = delete;

    // Gives back the batch written (or nullptr) and waits for the next one; nullptr once the
    // source has ended, at its end or at a failure.
    Batch* next(Batch* written)
    {
        std::unique_lock lock(m_mutex);
        if (written) {
            m_empty.push_back(written);
            m_changed.notify_all();
        }
        m_changed.wait(lock, [this] { return !m_full.empty() || m_ended; });
        if (m_full.empty())
            return nullptr;
        Batch* batch = m_full.front();
        m_full.pop_front();
        return batch;
    }

    // Ends the reading thread; the source may be asked for its failure afterwards.
    void stop()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stopped = true;
        }
        m_changed.notify_all();
        if (m_reader.joinable())
            m_reader.join();
    }

private:
    static constexpr size_t BatchRecords = 256;

    void read()
    {
        bool ended = false;
        while (!ended) {
            Batch* batch = nullptr;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [this] { return !m_empty.empty() || m_stopped; });
                if (m_stopped)
                    break;
                batch = m_empty.front();
                m_empty.pop_front();
            }
            batch->count = 0;
            while (batch->count < BatchRecords && m_source.next())
                m_source.takeValues(batch->records[batch->count++]);
            ended = batch->count < BatchRecords;
            std::lock_guard lock(m_mutex);
            (batch->count > 0 ? m_full : m_empty).push_back(batch);
            m_ended = ended;
            m_changed.notify_all();
        }
    }

    JetReader::Table& m_source;
    Batch m_batches[4];
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Batch*> m_empty;
    std::deque<Batch*> m_full;
    bool m_ended = false;
    bool m_stopped = false;
    std::thread m_reader;
};

struct Failure
{
    Outcome outcome;
    QString why;
};

Outcome writeOutcome(int sqliteCode)
{
    switch (sqliteCode & 0xff) {
    case SQLITE_FULL:
        return Outcome::NoSpace;
    case SQLITE_NOMEM:
        return Outcome::OutOfMemory;
    case SQLITE_CONSTRAINT:
    case SQLITE_MISMATCH:
        return Outcome::Damaged; // two records with one ID, an ID that is no number
    default:
        return Outcome::CannotWrite;
    }
}

// Copies one table: the program's fields by name (without regard to Latin letter case, as
// Jet names compare), the others as extra text columns of their own.
std::optional<Failure> copyTable(JetReader::Table& source, Writer& writer, const QString& table,
                                 const QStringList& knownFields, qint64* copied, const JetConverter::Progress& progress)
{
    const QList<JetReader::Column>& columns = source.columns();
    QStringList targets;
    for (const JetReader::Column& column : columns) {
        QString target;
        for (const QString& known : knownFields) {
            if (known.compare(column.name, Qt::CaseInsensitive) == 0)
                target = known;
        }
        if (target.isEmpty()) {
            // Two Jet names that SQLite would take for one cannot both be kept apart.
            for (const QString& taken : targets) {
                if (taken.compare(column.name, Qt::CaseInsensitive) == 0)
                    return Failure{Outcome::Damaged, QStringLiteral("two columns named %1").arg(column.name)};
            }
            target = column.name;
            if (!writer.exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 TEXT").arg(quoted(table), quoted(target))))
                return Failure{writeOutcome(writer.errorCode()), writer.error()};
        }
        targets.append(target);
    }
    QStringList names, marks;
    for (const QString& target : targets) {
        names.append(quoted(target));
        marks.append(QStringLiteral("?"));
    }
    // Several records go in with each statement: the engine's bookkeeping of the table's
    // numbering, and the start of a statement, then come once for all of them.
    const int columnCount = int(targets.size());
    const int variables = sqlite3_limit(writer.db(), SQLITE_LIMIT_VARIABLE_NUMBER, -1);
    const int perStatement = std::clamp(variables / std::max(1, columnCount), 1, 16);
    auto prepareInsert = [&](int records, sqlite3_stmt** stmt) {
        const QString record = QLatin1Char('(') + marks.join(QLatin1Char(',')) + QLatin1Char(')');
        const QByteArray sql =
            QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
                .arg(quoted(table), names.join(QLatin1Char(',')), QStringList(records, record).join(QLatin1Char(',')))
                .toUtf8();
        return sqlite3_prepare_v2(writer.db(), sql.constData(), -1, stmt, nullptr) == SQLITE_OK;
    };
    sqlite3_stmt* many = nullptr;
    sqlite3_stmt* one = nullptr;
    auto finish = [&](std::optional<Failure> failure) {
        sqlite3_finalize(many);
        sqlite3_finalize(one);
        return failure;
    };
    if (!prepareInsert(perStatement, &many) || !prepareInsert(1, &one))
        return finish(Failure{writeOutcome(writer.errorCode()), writer.error()});
    const qsizetype idColumn = targets.indexOf(QLatin1String("ID"));
    // Binds one record's values from the given parameter on; false for an ID that is no number.
    auto bind = [&](sqlite3_stmt* insert, int first, const QList<JetReader::Value>& values) {
        for (qsizetype i = 0; i < values.size(); ++i) {
            const JetReader::Value& value = values[i];
            const int slot = first + int(i) + 1;
            if (value.kind == JetReader::Value::Kind::Null) {
                sqlite3_bind_null(insert, slot);
            } else if (i == idColumn) {
                bool number = false;
                const qint64 id = value.bytes.toLongLong(&number);
                if (!number)
                    return false;
                sqlite3_bind_int64(insert, slot, id);
            } else if (value.kind == JetReader::Value::Kind::Blob) {
                sqlite3_bind_blob64(insert, slot, value.bytes.constData(), sqlite3_uint64(value.bytes.size()),
                                    SQLITE_STATIC);
            } else {
                sqlite3_bind_text64(insert, slot, value.bytes.constData(), sqlite3_uint64(value.bytes.size()),
                                    SQLITE_STATIC, SQLITE_UTF8);
            }
        }
        return true;
    };

    const qint64 total = source.recordCount();
    qint64 done = 0;
    RecordPipe pipe(source);
    RecordPipe::Batch* batch = nullptr;
    while ((batch = pipe.next(batch))) {
        for (size_t record = 0; record < batch->count;) {
            const int records = batch->count - record >= size_t(perStatement) ? perStatement : 1;
            sqlite3_stmt* insert = records > 1 ? many : one;
            for (int r = 0; r < records; ++r) {
                if (!bind(insert, r * columnCount, batch->records[record + size_t(r)]))
                    return finish(Failure{Outcome::Damaged, QStringLiteral("an ID that is no number")});
            }
            if (sqlite3_step(insert) != SQLITE_DONE) {
                const int code = sqlite3_errcode(writer.db());
                return finish(Failure{writeOutcome(code), writer.error()});
            }
            sqlite3_reset(insert);
            record += size_t(records);
            const qint64 before = done;
            done += records;
            if (progress && done / 1000 != before / 1000)
                progress(done, total);
        }
    }
    pipe.stop();
    if (source.failure() != JetReader::Failure::None)
        return finish(Failure{
            source.failure() == JetReader::Failure::Unreadable ? Outcome::Unreadable : Outcome::Damaged, source.why()});
    *copied = done;

    // New records are numbered after every ID the old file gave out: after the next number it
    // kept where it keeps one (the last record added may since have been deleted), and always
    // after the largest ID (which SQLite's own numbering takes care of).
    if (std::optional<qint64> next = source.nextAutoNumber(); next && targets.contains(QLatin1String("ID"))) {
        const QString name = QLatin1Char('\'') + table + QLatin1Char('\'');
        const QString insert = QStringLiteral("INSERT INTO sqlite_sequence (name, seq) SELECT %1, %2 WHERE NOT EXISTS "
                                              "(SELECT 1 FROM sqlite_sequence WHERE name = %1)")
                                   .arg(name)
                                   .arg(*next - 1);
        const QString update =
            QStringLiteral("UPDATE sqlite_sequence SET seq = max(seq, %2) WHERE name = %1").arg(name).arg(*next - 1);
        if (!writer.exec(insert) || !writer.exec(update))
            return finish(Failure{writeOutcome(writer.errorCode()), writer.error()});
    }
    return finish(std::nullopt);
}

JetConverter::Report failed(Outcome outcome, const QString& why)
{
    JetConverter::Report report;
    report.outcome = outcome;
    report.why = why;
    return report;
}

} // namespace

JetConverter::Report JetConverter::convert(const QString& jetPath, const QString& newPath, const Progress& progress)
{
    if (QFileInfo::exists(newPath) || QFileInfo(newPath).isSymLink())
        return failed(Outcome::TargetExists, newPath);
    JetReader::Failure openFailure = JetReader::Failure::None;
    QString why;
    std::unique_ptr<JetReader> reader = JetReader::open(jetPath, &openFailure, &why);
    if (!reader)
        return failed(openFailure == JetReader::Failure::Unreadable ? Outcome::Unreadable : Outcome::Damaged, why);
    return convert(*reader, newPath, progress);
}

JetConverter::Report JetConverter::convert(JetReader& reader, const QString& newPath, const Progress& progress)
{
    Report report;
    auto fail = [&report](Outcome outcome, const QString& why) {
        report.outcome = outcome;
        report.why = why;
        return report;
    };
    if (QFileInfo::exists(newPath) || QFileInfo(newPath).isSymLink())
        return failed(Outcome::TargetExists, newPath);
    QString why;
    const QStringList tables = reader.tableNames();
    auto has = [&tables](const QString& name) {
        return std::any_of(tables.begin(), tables.end(),
                           [&name](const QString& t) { return t.compare(name, Qt::CaseInsensitive) == 0; });
    };
    if (!has(JetConversion::MemoTable))
        return fail(Outcome::NoMemoTable, QStringLiteral("tables: ") + tables.join(QStringLiteral(", ")));
    std::unique_ptr<JetReader::Table> memos = reader.table(JetConversion::MemoTable, &why);
    if (!memos)
        return fail(Outcome::Damaged, why);
    std::unique_ptr<JetReader::Table> paths;
    if (has(JetConversion::PathTable)) {
        paths = reader.table(JetConversion::PathTable, &why);
        if (!paths)
            return fail(Outcome::Damaged, why);
    }

    // From here on the new file exists and goes again on any failure.
    Writer writer;
    auto failAndRemove = [&](Outcome outcome, const QString& reason) {
        writer.close();
        QFile::remove(newPath);
        return fail(outcome, reason);
    };
    // The schema maker never touches a file that is there already, and removes its own.
    if (Result made = Schema::createMemoBook(newPath); !made) {
        const bool full = made.message.contains(QLatin1String("full"));
        return fail(full ? Outcome::NoSpace : Outcome::CannotWrite, made.message);
    }
    if (paths) {
        QString pathWhy;
        if (Schema::makePathTable(newPath, &pathWhy) != Schema::PathTableOutcome::Made)
            return failAndRemove(pathWhy.contains(QLatin1String("full")) ? Outcome::NoSpace : Outcome::CannotWrite,
                                 pathWhy);
    }
    if (!writer.open(newPath))
        return failAndRemove(writeOutcome(writer.errorCode()), writer.error());
    // The schema's indexes are set aside while the records go in and made again from their
    // own definitions afterwards: one sort per index instead of a search per record and index.
    QStringList indexes;
    {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(writer.db(),
                               "SELECT name, sql FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL", -1,
                               &stmt, nullptr) != SQLITE_OK)
            return failAndRemove(writeOutcome(writer.errorCode()), writer.error());
        QStringList names;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            names.append(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))));
            indexes.append(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1))));
        }
        sqlite3_finalize(stmt);
        for (const QString& name : names) {
            if (!writer.exec(QStringLiteral("DROP INDEX %1").arg(quoted(name))))
                return failAndRemove(writeOutcome(writer.errorCode()), writer.error());
        }
    }

    if (progress)
        progress(0, memos->recordCount());
    if (std::optional<Failure> f =
            copyTable(*memos, writer, JetConversion::MemoTable, MemoFields, &report.memos, progress))
        return failAndRemove(f->outcome, QStringLiteral("%1: %2").arg(JetConversion::MemoTable, f->why));
    if (progress)
        progress(report.memos, memos->recordCount());
    if (paths) {
        if (std::optional<Failure> f =
                copyTable(*paths, writer, JetConversion::PathTable, PathFields, &report.applications, {}))
            return failAndRemove(f->outcome, QStringLiteral("%1: %2").arg(JetConversion::PathTable, f->why));
    }
    for (const QString& index : indexes) {
        if (!writer.exec(index))
            return failAndRemove(writeOutcome(writer.errorCode()), writer.error());
    }
    if (!writer.exec("COMMIT"))
        return failAndRemove(writeOutcome(writer.errorCode()), writer.error());
    writer.close();
    if (!DurableFile::sync(newPath))
        return failAndRemove(Outcome::CannotWrite, QStringLiteral("cannot sync ") + newPath);
    return report;
}
