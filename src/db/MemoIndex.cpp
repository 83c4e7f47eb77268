#include "db/MemoIndex.h"

#include "core/Log.h"
#include "core/TextFold.h"
#include "db/Connection.h"
#include "db/MemoIndexFile.h"
#include "db/MemoIndexWriter.h"
#include "db/MemoSearch.h"
#include "db/Statement.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

#include <sqlite3.h>

#include <algorithm>
#include <optional>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

QHash<QString, std::weak_ptr<MemoIndex>>& pool()
{
    static QHash<QString, std::weak_ptr<MemoIndex>> indexes;
    return indexes;
}

QString poolKey(const QString& path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

// The triggers note every change of a memo, with the memo's text as it was before.
const char* const TriggerSql[] = {
    "CREATE TEMP TRIGGER IF NOT EXISTS orv_index_insert AFTER INSERT ON main.メモ帳 "
    "BEGIN SELECT orv_memo_changed(new.ID); END",
    "CREATE TEMP TRIGGER IF NOT EXISTS orv_index_update AFTER UPDATE ON main.メモ帳 "
    "BEGIN SELECT orv_memo_changed(old.ID, old.ｷｰﾜｰﾄﾞ, old.検索キー１, old.検索キー２, old.予備１, old.日付, "
    "old.ヘルプファイル, old.メモ), orv_memo_changed(new.ID); END",
    "CREATE TEMP TRIGGER IF NOT EXISTS orv_index_delete AFTER DELETE ON main.メモ帳 "
    "BEGIN SELECT orv_memo_changed(old.ID, old.ｷｰﾜｰﾄﾞ, old.検索キー１, old.検索キー２, old.予備１, old.日付, "
    "old.ヘルプファイル, old.メモ); END",
};
const char* const TriggerNames[] = {"orv_index_insert", "orv_index_update", "orv_index_delete"};

Result exec(sqlite3* db, const QString& sql)
{
    Statement statement(db, sql);
    if (!statement.prepared())
        return statement.prepared();
    return statement.exec();
}

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

// The worker yields to the window: on Linux each thread has a niceness of its own.
void lowerThreadPriority()
{
    setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), 10);
}

} // namespace

// What one connection of the memo book knows of its index: the search and the change notes
// reach the index through it, or, when none is attached, search the memo book itself. It
// lives as long as the connection.
struct MemoIndexHooks
{
    sqlite3* db = nullptr;
    MemoIndex* index = nullptr;
    MemoSearch::Finder finder;
    MemoSearch::ExactFinder exactFinder;

    static QHash<sqlite3*, MemoIndexHooks*>& all()
    {
        static QHash<sqlite3*, MemoIndexHooks*> hooks;
        return hooks;
    }

    static void changed(sqlite3_context* context, int argc, sqlite3_value** argv)
    {
        auto* hooks = static_cast<MemoIndexHooks*>(sqlite3_user_data(context));
        if (!hooks->index || argc < 1 || sqlite3_value_type(argv[0]) == SQLITE_NULL)
            return;
        const qint64 id = sqlite3_value_int64(argv[0]);
        if (argc == 1 + MemoIndexFile::FieldCount) {
            QList<QByteArray> fields;
            for (int i = 1; i < argc; ++i) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[i]));
                fields.append(text ? QByteArray(text, sqlite3_value_bytes(argv[i])) : QByteArray());
            }
            const QByteArray old = MemoIndexFile::body(fields);
            hooks->index->noteChange(id, &old);
        } else {
            hooks->index->noteChange(id, nullptr);
        }
    }

    static void destroy(void* data)
    {
        auto* hooks = static_cast<MemoIndexHooks*>(data);
        all().remove(hooks->db);
        MemoSearch::setExactFinder(hooks->db, nullptr);
        delete hooks;
    }

    // The hooks of a connection, made and registered with it on first use.
    static MemoIndexHooks* of(sqlite3* db)
    {
        if (MemoIndexHooks* existing = all().value(db))
            return existing;
        auto* hooks = new MemoIndexHooks;
        hooks->db = db;
        hooks->finder = [hooks](const QStringList& words, QVector<qint64>& ids) {
            return hooks->index ? hooks->index->find(words, ids) : MemoSearch::scan(hooks->db, words, ids);
        };
        hooks->exactFinder = [hooks](const QStringList& words, QVector<qint64>& ids) {
            return hooks->index && hooks->index->findExactly(words, ids);
        };
        if (sqlite3_create_function_v2(db, "orv_memo_changed", -1, SQLITE_UTF8, hooks, changed, nullptr, nullptr,
                                       destroy) != SQLITE_OK) {
            delete hooks;
            return nullptr;
        }
        all().insert(db, hooks);
        if (!MemoSearch::install(db, &hooks->finder))
            qCWarning(lcDb, "the search function could not be installed");
        MemoSearch::setExactFinder(db, &hooks->exactFinder);
        return hooks;
    }
};

std::shared_ptr<MemoIndex> MemoIndex::open(const QString& bookPath)
{
    const QString key = poolKey(bookPath);
    if (std::shared_ptr<MemoIndex> existing = pool().value(key).lock())
        return existing;
    std::shared_ptr<MemoIndex> index(new MemoIndex(bookPath));
    pool().insert(key, index);
    index->start();
    return index;
}

MemoIndex::MemoIndex(const QString& bookPath) : m_bookPath(bookPath), m_progress(new MemoIndexFile::Progress)
{
    m_writer =
        std::make_unique<MemoIndexWriter>([this](const QList<MemoIndexWriter::Change>& changes, const Result& outcome) {
            // On the writer's thread: a memo written stays noted only if it has changed again since.
            {
                QMutexLocker lock(&m_mutex);
                for (const MemoIndexWriter::Change& change : changes) {
                    auto it = m_pending.find(change.id);
                    if (it != m_pending.end() && (!outcome || it->serial == change.serial))
                        m_pending.erase(it);
                }
                ++m_changes;
            }
            if (!outcome)
                QMetaObject::invokeMethod(
                    this, [this, why = outcome.message] { indexBroken(why); }, Qt::QueuedConnection);
        });
    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(250);
    connect(m_progressTimer, &QTimer::timeout, this, [this] {
        const QString text = progressText();
        if (text != m_lastProgress) {
            m_lastProgress = text;
            Q_EMIT progressChanged();
        }
    });
}

MemoIndex::~MemoIndex()
{
    m_closing = true;
    m_progress->cancel = true;
    joinWorker();
    flush();
    removeHooks();
    m_writer.reset(); // writes what was saved last
    closeIndex();
    if (m_state == State::Building)
        QFile::remove(indexPath() + QStringLiteral(".new"));
}

QString MemoIndex::indexPath() const
{
    return MemoIndexFile::pathFor(m_bookPath);
}

void MemoIndex::start()
{
    Result opened;
    m_book = Connection::shared(m_bookPath, &opened);
    if (!m_book) {
        qCInfo(lcDb, "no index for %s: %s", qUtf8Printable(m_bookPath), qUtf8Printable(opened.message));
        return;
    }
    installHooks();
    if (openIndex()) {
        setState(State::Ready);
        startVerify();
    } else {
        startBuild();
    }
}

void MemoIndex::installHooks()
{
    MemoIndexHooks* hooks = MemoIndexHooks::of(m_book->handle());
    if (!hooks)
        return;
    hooks->index = this;
    for (const char* sql : TriggerSql) {
        if (Result r = exec(m_book->handle(), QString::fromUtf8(sql)); !r)
            qCWarning(lcDb, "no change notes: %s", qUtf8Printable(r.message));
    }
}

void MemoIndex::removeHooks()
{
    if (!m_book)
        return;
    if (MemoIndexHooks* hooks = MemoIndexHooks::all().value(m_book->handle()); hooks && hooks->index == this)
        hooks->index = nullptr;
    for (const char* name : TriggerNames)
        skipOnFailure(exec(m_book->handle(), QStringLiteral("DROP TRIGGER IF EXISTS temp.%1").arg(QLatin1String(name))),
                      lcDb(), "dropping a change note trigger");
}

bool MemoIndex::openIndex()
{
    closeIndex();
    if (!QFileInfo::exists(indexPath()))
        return false;
    Result opened;
    m_db = MemoIndexFile::openConnection(indexPath(), false, false, &opened);
    if (m_db && sqlite3_db_readonly(m_db, "main") == 1)
        opened = Result::failure(QStringLiteral("the index file is read-only"));
    if (opened)
        opened = MemoIndexFile::check(m_db);
    if (opened)
        opened = exec(m_db, QStringLiteral("PRAGMA synchronous = OFF"));
    if (!opened) {
        qCInfo(lcDb, "index %s set aside: %s", qUtf8Printable(indexPath()), qUtf8Printable(opened.message));
        closeIndex();
        return false;
    }
    return true;
}

void MemoIndex::closeIndex()
{
    if (m_upperDb) {
        sqlite3_close_v2(m_upperDb);
        m_upperDb = nullptr;
    }
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

void MemoIndex::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    if (m_state == State::Building)
        m_progressTimer->start();
    else
        m_progressTimer->stop();
    m_lastProgress = progressText();
    Q_EMIT progressChanged();
}

QString MemoIndex::progressText() const
{
    if (m_state != State::Building)
        return {};
    const qint64 total = m_progress->total;
    const qint64 done = m_progress->done;
    const int percent = total > 0 ? int(qMin<qint64>(99, done * 100 / total)) : 0;
    return QStringLiteral("全文索引を作成中… %1%").arg(percent);
}

void MemoIndex::joinWorker()
{
    if (m_worker.joinable())
        m_worker.join();
    m_workerRunning = false;
}

void MemoIndex::startBuild()
{
    if (m_closing)
        return;
    joinWorker();
    closeIndex();
    m_agreedAtVersion = -1;
    m_startedAtVersion = bookVersion();
    m_replay.clear();
    m_progress->done = 0;
    m_progress->total = 0;
    m_progress->cancel = false;
    setState(State::Building);
    m_workerRunning = true;
    const QString book = m_bookPath;
    const QString target = indexPath() + QStringLiteral(".new");
    MemoIndexFile::Progress* progress = m_progress.get();
    const QString aside = indexPath() + QStringLiteral(".old"); // left by a program that ended meanwhile
    m_worker = std::thread([this, book, target, aside, progress] {
        lowerThreadPriority();
        QFile::remove(aside);
        const Result built = MemoIndexFile::build(book, target, *progress);
        if (!built)
            qCInfo(lcDb, "index not made: %s", qUtf8Printable(built.message));
        if (progress->cancel)
            return;
        QMetaObject::invokeMethod(
            this, [this, ok = bool(built)] { onBuilt(ok); }, Qt::QueuedConnection);
    });
}

void MemoIndex::startVerify()
{
    if (m_closing)
        return;
    joinWorker();
    m_agreedAtVersion = -1;
    m_startedAtVersion = bookVersion();
    m_progress->done = 0;
    m_progress->total = 0;
    m_progress->cancel = false;
    m_workerRunning = true;
    const QString book = m_bookPath;
    const QString index = indexPath();
    MemoIndexFile::Progress* progress = m_progress.get();
    m_worker = std::thread([this, book, index, progress] {
        lowerThreadPriority();
        const MemoIndexFile::Verdict verdict = MemoIndexFile::verify(
            book, index, *progress, [this](qint64 id) { return inFlux(id); }, [this] { return changesWritten(); });
        if (verdict == MemoIndexFile::Verdict::Cancelled)
            return;
        QMetaObject::invokeMethod(
            this, [this, verdict] { onVerified(verdict); }, Qt::QueuedConnection);
    });
}

void MemoIndex::onVerified(MemoIndexFile::Verdict verdict)
{
    joinWorker();
    if (m_state != State::Ready)
        return;
    if (verdict == MemoIndexFile::Verdict::Current)
        m_agreedAtVersion = m_startedAtVersion;
    if (verdict != MemoIndexFile::Verdict::Stale)
        return;
    qCInfo(lcDb, "index %s is stale; making it anew", qUtf8Printable(indexPath()));
    startBuild();
}

void MemoIndex::onBuilt(bool ok)
{
    joinWorker();
    if (!ok) {
        QFile::remove(indexPath() + QStringLiteral(".new"));
        setState(State::Unavailable);
        return;
    }
    swapIn();
}

void MemoIndex::swapIn()
{
    // The new index takes over between statements of the memo book, never inside a transaction.
    if (!sqlite3_get_autocommit(m_book->handle())) {
        QTimer::singleShot(50, this, &MemoIndex::swapIn);
        return;
    }
    flush();
    m_writer->drain();
    const QString fresh = indexPath() + QStringLiteral(".new");
    Result done;
    {
        sqlite3* db = MemoIndexFile::openConnection(fresh, false, false, &done);
        if (db) {
            done = exec(db, QStringLiteral("BEGIN"));
            for (auto it = m_replay.cbegin(); done && it != m_replay.cend(); ++it) {
                QByteArray current;
                bool exists = false;
                done = readCurrent(it.key(), current, exists);
                if (done)
                    done = MemoIndexFile::apply(db, it.key(), it->oldBodies, exists ? &current : nullptr);
            }
            if (done)
                done = exec(db, QStringLiteral("COMMIT"));
            sqlite3_close_v2(db);
        }
    }
    m_replay.clear();
    if (done) {
        closeIndex();
        for (const char* leftover : {"-journal", "-wal", "-shm"})
            QFile::remove(indexPath() + QLatin1String(leftover));
        // The old file is moved aside and deleted on a thread of its own: giving back the
        // blocks of a large file takes a third of a second, which the window would wait for
        // if rename() replaced it. rename() moves a read-only file too.
        const QByteArray current = QFile::encodeName(indexPath());
        const QByteArray aside = QFile::encodeName(indexPath() + QStringLiteral(".old"));
        const bool movedAside = std::rename(current.constData(), aside.constData()) == 0;
        if (std::rename(QFile::encodeName(fresh).constData(), current.constData()) != 0) {
            done = Result::failure(QStringLiteral("the new index could not take the old one's place"));
            if (movedAside)
                std::rename(aside.constData(), current.constData());
        } else if (movedAside) {
            std::thread([aside] { ::unlink(aside.constData()); }).detach();
        }
    }
    if (done && openIndex()) {
        m_agreedAtVersion = m_startedAtVersion;
        setState(State::Ready);
        return;
    }
    qCInfo(lcDb, "index %s not used: %s", qUtf8Printable(indexPath()), qUtf8Printable(done.message));
    QFile::remove(fresh);
    setState(State::Unavailable);
}

void MemoIndex::indexBroken(const QString& why)
{
    m_agreedAtVersion = -1;
    if (m_state != State::Ready || m_closing)
        return;
    qCInfo(lcDb, "index %s broken (%s); making it anew", qUtf8Printable(indexPath()), qUtf8Printable(why));
    m_progress->cancel = true;
    joinWorker();
    startBuild();
}

void MemoIndex::noteChange(qint64 id, const QByteArray* oldBody)
{
    {
        QMutexLocker lock(&m_mutex);
        Pending& pending = m_pending[id];
        pending.serial = ++m_serial;
        if (oldBody && !pending.oldBodies.contains(*oldBody))
            pending.oldBodies.append(*oldBody);
    }
    scheduleFlush();
}

void MemoIndex::scheduleFlush(int delayMs)
{
    if (m_flushScheduled)
        return;
    m_flushScheduled = true;
    QTimer::singleShot(delayMs, this, [this] {
        m_flushScheduled = false;
        flush();
    });
}

bool MemoIndex::inFlux(qint64 id)
{
    QMutexLocker lock(&m_mutex);
    return m_pending.contains(id);
}

quint64 MemoIndex::changesWritten()
{
    QMutexLocker lock(&m_mutex);
    return m_changes;
}

Result MemoIndex::readCurrent(qint64 id, QByteArray& body, bool& exists)
{
    Statement row(
        m_book->handle(),
        QStringLiteral("SELECT %1 FROM main.メモ帳 WHERE ID = ?1").arg(QString::fromUtf8(MemoIndexFile::Fields)));
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

void MemoIndex::flush()
{
    QHash<qint64, Pending> taken;
    {
        QMutexLocker lock(&m_mutex);
        for (auto it = m_pending.cbegin(); it != m_pending.cend(); ++it) {
            if (it->sent != it->serial || m_state != State::Ready)
                taken.insert(it.key(), *it);
        }
    }
    if (taken.isEmpty() || !m_book)
        return;
    // A change is written once it has been stored; within a transaction it may still be undone.
    if (!sqlite3_get_autocommit(m_book->handle())) {
        scheduleFlush(20);
        return;
    }
    if (m_state != State::Ready) {
        if (m_state == State::Building)
            moveToReplay(taken);
        QMutexLocker lock(&m_mutex);
        for (auto it = taken.cbegin(); it != taken.cend(); ++it) {
            if (m_pending.value(it.key()).serial == it->serial)
                m_pending.remove(it.key());
        }
        ++m_changes;
        return;
    }
    // The memos as they are stored now; a memo book that cannot be read is tried again later.
    QList<MemoIndexWriter::Change> changes;
    for (auto it = taken.cbegin(); it != taken.cend(); ++it) {
        QByteArray body;
        bool exists = false;
        if (!readCurrent(it.key(), body, exists)) {
            if (!m_closing)
                scheduleFlush(1000);
            return;
        }
        changes.append({it.key(), it->oldBodies, exists ? std::optional<QByteArray>(body) : std::nullopt, it->serial});
    }
    {
        QMutexLocker lock(&m_mutex);
        for (const MemoIndexWriter::Change& change : std::as_const(changes)) {
            auto it = m_pending.find(change.id);
            if (it != m_pending.end())
                it->sent = change.serial;
        }
    }
    m_writer->write(indexPath(), std::move(changes));
}

void MemoIndex::moveToReplay(const QHash<qint64, Pending>& taken)
{
    for (auto it = taken.cbegin(); it != taken.cend(); ++it) {
        Pending& replay = m_replay[it.key()];
        for (const QByteArray& old : it->oldBodies) {
            if (!replay.oldBodies.contains(old))
                replay.oldBodies.append(old);
        }
    }
}

qint64 MemoIndex::bookVersion() const
{
    if (!m_book)
        return -1;
    Statement version(m_book->handle(), QStringLiteral("PRAGMA main.data_version"));
    return version.step() == Statement::Step::Row ? version.int64(0) : -1;
}

bool MemoIndex::waitForIdle(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    auto busy = [this] {
        QMutexLocker lock(&m_mutex);
        return m_workerRunning || m_flushScheduled || !m_writer->idle() ||
               (m_state == State::Ready && !m_pending.isEmpty());
    };
    while (busy()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

Result MemoIndex::queryIndex(const QStringList& words, QVector<qint64>& ids)
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
        m_upperDb = MemoIndexFile::openConnection(indexPath(), false, false, nullptr);
    qint64 middle = 0;
    {
        Statement last(m_db, QStringLiteral("SELECT max(ID) FROM memo_rows"));
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
        std::thread reader;
        if (m_upperDb)
            reader = std::thread(readUpper, m_upperDb);
        QVector<qint64> found;
        const Result lowerRead = matchIds(m_db, table, query, middle, false, found);
        if (reader.joinable())
            reader.join();
        else
            readUpper(m_db); // no second connection: one after the other

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

bool MemoIndex::findExactly(const QStringList& words, QVector<qint64>& ids)
{
    if (m_state != State::Ready || !m_db || m_agreedAtVersion < 0 || bookVersion() != m_agreedAtVersion)
        return false;
    // A damaged index falls back to reading the book, which is exact too.
    return bool(find(words, ids));
}

Result MemoIndex::find(const QStringList& words, QVector<qint64>& ids)
{
    ids.clear();
    if (words.isEmpty())
        return Result::success();
    if (m_state == State::Ready && m_db) {
        const Result found = queryIndex(words, ids);
        if (found) {
            // Memos saved but not yet written into the index are judged by their stored text.
            QList<qint64> changed;
            {
                QMutexLocker lock(&m_mutex);
                changed = m_pending.keys();
            }
            for (qint64 id : std::as_const(changed)) {
                QByteArray current;
                bool exists = false;
                if (!readCurrent(id, current, exists))
                    continue;
                const bool match = exists && TextFold::containsAll(TextFold::fold(QString::fromUtf8(current)), words);
                const auto at = std::lower_bound(ids.begin(), ids.end(), id);
                const bool listed = at != ids.end() && *at == id;
                if (match && !listed)
                    ids.insert(at, id);
                else if (!match && listed)
                    ids.erase(at);
            }
            return found;
        }
        // A damaged index is made anew once this statement is done; this search reads the book.
        QMetaObject::invokeMethod(
            this, [this, why = found.message] { indexBroken(why); }, Qt::QueuedConnection);
    }
    return MemoSearch::scan(m_book->handle(), words, ids);
}
