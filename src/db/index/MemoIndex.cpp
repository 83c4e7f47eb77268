#include "db/index/MemoIndex.h"

#include "core/BackgroundTask.h"
#include "core/DurableFile.h"
#include "core/Log.h"
#include "db/Connection.h"
#include "db/Schema.h"
#include "db/Statement.h"
#include "db/index/ChangeJournal.h"
#include "db/index/IndexSearch.h"
#include "db/index/MemoChangeHooks.h"
#include "db/index/MemoIndexFile.h"
#include "db/index/MemoIndexWriter.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTimer>

#include <sqlite3.h>

#include <cstdio>
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

// The worker yields to the window: on Linux each thread has a niceness of its own.
void lowerThreadPriority()
{
    setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), 10);
}

} // namespace

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

MemoIndex::MemoIndex(const QString& bookPath)
    : m_bookPath(bookPath), m_progress(std::make_shared<MemoIndexFile::Progress>())
{
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
    stopWorker();
    flush();
    if (m_hooks) {
        m_hooks->setFinders({}, {});
        m_journal->setListener({});
    }
    m_writer.reset(); // writes what was saved last
    m_search.reset();
    if (m_state == State::Building || m_state == State::SwappingIn)
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
    if (!m_book || !m_book->memoHooks()) {
        qCInfo(lcDb, "no index for %s: %s", qUtf8Printable(m_bookPath), qUtf8Printable(opened.message));
        return;
    }
    m_hooks = m_book->memoHooks();
    m_journal = &m_hooks->journal();
    // A memo table made after the connection opened is watched from now on.
    skipOnFailure(m_hooks->watch(), lcDb(), "watching the memos for the index");
    m_search = std::make_unique<IndexSearch>(m_book->handle(), *m_journal);
    m_writer = std::make_unique<MemoIndexWriter>(
        [this](const QList<MemoIndexWriter::Change>& changes, const Result& outcome) {
            // On the writer's thread.
            QList<QPair<qint64, quint64>> written;
            for (const MemoIndexWriter::Change& change : changes)
                written.append({change.id, change.serial});
            m_journal->written(written, bool(outcome));
            if (!outcome)
                QMetaObject::invokeMethod(
                    this, [this, why = outcome.message] { indexBroken(why); }, Qt::QueuedConnection);
        },
        [this] { QMetaObject::invokeMethod(this, &MemoIndex::maybeSettled, Qt::QueuedConnection); });
    m_journal->setListener([this](qint64 id) {
        m_search->noteChange(id);
        scheduleFlush();
    });
    m_hooks->setFinders([this](const QStringList& words, QVector<qint64>& ids) { return find(words, ids); },
                        [this](const QStringList& words, QVector<qint64>& ids) { return findExactly(words, ids); });
    if (openIndex()) {
        m_versionAtStart = IndexSearch::bookVersion(m_book->handle());
        setState(State::Checking);
        startVerify();
    } else {
        startBuild();
    }
    // Changes saved before the index opened are written now.
    if (!m_journal->isEmpty())
        scheduleFlush();
}

bool MemoIndex::openIndex()
{
    m_search->close();
    if (!QFileInfo::exists(indexPath()))
        return false;
    if (Result opened = m_search->open(indexPath()); !opened) {
        qCInfo(lcDb, "index %s set aside: %s", qUtf8Printable(indexPath()), qUtf8Printable(opened.message));
        return false;
    }
    return true;
}

void MemoIndex::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    if (m_state == State::Ready)
        m_agreedVersion = m_versionAtStart;
    else if (m_state != State::Checking)
        m_agreedVersion = -1;
    if (servesFromIndex())
        m_search->dropKeptScan(); // the index answers now
    if (m_state == State::Building)
        m_progressTimer->start();
    else if (m_state != State::SwappingIn)
        m_progressTimer->stop();
    m_lastProgress = progressText();
    Q_EMIT stateChanged(m_state);
    Q_EMIT progressChanged();
    maybeSettled();
}

bool MemoIndex::servesFromIndex() const
{
    return (m_state == State::Checking || m_state == State::Ready) && m_search && m_search->isOpen();
}

QString MemoIndex::progressText() const
{
    if (m_state != State::Building && m_state != State::SwappingIn)
        return {};
    const qint64 total = m_progress->total;
    const qint64 done = m_progress->done;
    const int percent = total > 0 ? int(qMin<qint64>(99, done * 100 / total)) : 0;
    return QStringLiteral("全文索引を作成中… %1%").arg(percent);
}

void MemoIndex::stopWorker()
{
    if (!m_worker || m_worker->isFinished())
        return;
    m_progress->cancel = true;
    delete m_worker.data(); // waits for it; its result is dropped
}

void MemoIndex::startBuild()
{
    if (m_closing)
        return;
    stopWorker();
    m_search->close();
    m_versionAtStart = IndexSearch::bookVersion(m_book->handle());
    m_journal->clearReplay();
    m_progress = std::make_shared<MemoIndexFile::Progress>();
    setState(State::Building);
    const QString book = m_bookPath;
    const QString target = indexPath() + QStringLiteral(".new");
    const QString aside = indexPath() + QStringLiteral(".old"); // left by a program that ended meanwhile
    m_worker = BackgroundTask::start(
        this,
        [book, target, aside, progress = m_progress] {
            lowerThreadPriority();
            QFile::remove(aside);
            Result built = MemoIndexFile::build(book, target, *progress);
            // Synced here, so that the swap on the window's thread only renames.
            if (built)
                built = DurableFile::sync(target);
            if (!built)
                qCInfo(lcDb, "index not made: %s", qUtf8Printable(built.message));
            return bool(built);
        },
        [this](bool ok) { onBuilt(ok); });
}

void MemoIndex::startVerify()
{
    if (m_closing)
        return;
    stopWorker();
    m_progress = std::make_shared<MemoIndexFile::Progress>();
    ChangeJournal* journal = m_journal;
    m_worker = BackgroundTask::start(
        this,
        [book = m_bookPath, index = indexPath(), progress = m_progress, journal] {
            lowerThreadPriority();
            return MemoIndexFile::verify(
                book, index, *progress, [journal](qint64 id) { return journal->contains(id); },
                [journal] { return journal->settlements(); });
        },
        [this](MemoIndexFile::Verdict verdict) { onVerified(verdict); });
}

void MemoIndex::onVerified(MemoIndexFile::Verdict verdict)
{
    if (m_state != State::Checking)
        return;
    switch (verdict) {
    case MemoIndexFile::Verdict::Current:
        setState(State::Ready);
        break;
    case MemoIndexFile::Verdict::Stale:
        qCInfo(lcDb, "index %s is stale; making it anew", qUtf8Printable(indexPath()));
        startBuild();
        break;
    case MemoIndexFile::Verdict::Unchecked: // serves on, not known to agree; the next start compares again
    case MemoIndexFile::Verdict::Cancelled:
        maybeSettled();
        break;
    }
}

void MemoIndex::onBuilt(bool ok)
{
    if (!ok) {
        QFile::remove(indexPath() + QStringLiteral(".new"));
        setState(State::Unavailable);
        return;
    }
    setState(State::SwappingIn);
    swapIn();
}

void MemoIndex::swapIn()
{
    if (m_state != State::SwappingIn || m_closing)
        return;
    // The new index takes over between statements of the memo book, never inside a transaction.
    if (!sqlite3_get_autocommit(m_book->handle())) {
        QTimer::singleShot(50, this, &MemoIndex::swapIn);
        return;
    }
    flush();
    m_writer->drain();
    const QString fresh = indexPath() + QStringLiteral(".new");
    const QHash<qint64, QList<QByteArray>> replay = m_journal->takeReplay();
    Result done;
    {
        const SqliteHandle owned = MemoIndexFile::openConnection(fresh, false, false, &done);
        if (sqlite3* const db = owned.get()) {
            done = Statement::run(db, QStringLiteral("BEGIN"));
            for (auto it = replay.cbegin(); done && it != replay.cend(); ++it) {
                QByteArray current;
                bool exists = false;
                done = IndexSearch::readStored(m_book->handle(), it.key(), current, exists);
                if (done)
                    done = MemoIndexFile::apply(db, it.key(), it.value(), exists ? &current : nullptr);
            }
            if (done)
                done = Statement::run(db, QStringLiteral("COMMIT"));
        }
    }
    if (done) {
        m_search->close();
        for (const char* leftover : {"-journal", "-wal", "-shm"})
            QFile::remove(indexPath() + QLatin1String(leftover));
        // The old file is moved aside and deleted in the background: giving back the blocks of
        // a large file takes a third of a second, which the window would wait for if the new
        // one replaced it directly. rename() moves a read-only file too.
        const QString aside = indexPath() + QStringLiteral(".old");
        const bool movedAside =
            std::rename(QFile::encodeName(indexPath()).constData(), QFile::encodeName(aside).constData()) == 0;
        done = DurableFile::rename(fresh, indexPath());
        if (!done && movedAside && !QFileInfo::exists(indexPath()))
            std::rename(QFile::encodeName(aside).constData(), QFile::encodeName(indexPath()).constData());
        else if (movedAside)
            BackgroundTask::start(this, [aside] { ::unlink(QFile::encodeName(aside).constData()); });
    }
    if (done && openIndex()) {
        setState(State::Ready);
        return;
    }
    qCInfo(lcDb, "index %s not used: %s", qUtf8Printable(indexPath()), qUtf8Printable(done.message));
    QFile::remove(fresh);
    setState(State::Unavailable);
}

void MemoIndex::indexBroken(const QString& why)
{
    if (!servesFromIndex() || m_closing)
        return;
    qCInfo(lcDb, "index %s broken (%s); making it anew", qUtf8Printable(indexPath()), qUtf8Printable(why));
    startBuild();
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

void MemoIndex::flush()
{
    if (!m_journal)
        return;
    const bool toIndex = servesFromIndex();
    const QList<ChangeJournal::Entry> taken = toIndex ? m_journal->unsent() : m_journal->all();
    if (taken.isEmpty()) {
        maybeSettled();
        return;
    }
    // A change is written once it has been stored; within a transaction it may still be undone.
    if (!sqlite3_get_autocommit(m_book->handle())) {
        scheduleFlush(20);
        return;
    }
    if (!toIndex) {
        // The index being made takes them in before it takes over; no index, no need.
        m_journal->settle(taken, m_state == State::Building || m_state == State::SwappingIn);
        maybeSettled();
        return;
    }
    // The memos as they are stored now; a memo book that cannot be read is tried again later.
    QList<MemoIndexWriter::Change> changes;
    for (const ChangeJournal::Entry& entry : taken) {
        QByteArray body;
        bool exists = false;
        if (!IndexSearch::readStored(m_book->handle(), entry.id, body, exists)) {
            if (!m_closing)
                scheduleFlush(1000);
            return;
        }
        changes.append(
            {entry.id, entry.oldBodies, exists ? std::optional<QByteArray>(body) : std::nullopt, entry.serial});
    }
    m_journal->markSent(taken);
    m_writer->write(indexPath(), std::move(changes));
}

bool MemoIndex::busy() const
{
    return (m_worker && !m_worker->isFinished()) || m_flushScheduled || m_state == State::SwappingIn ||
           (m_writer && !m_writer->idle()) || (servesFromIndex() && !m_journal->isEmpty());
}

void MemoIndex::maybeSettled()
{
    if (!busy())
        Q_EMIT mayBeIdle();
}

bool MemoIndex::waitForIdle(int timeoutMs)
{
    if (!busy())
        return true;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &MemoIndex::mayBeIdle, &loop, &QEventLoop::quit);
    deadline.start(timeoutMs);
    while (busy() && deadline.isActive())
        loop.exec();
    return !busy();
}

Result MemoIndex::find(const QStringList& words, QVector<qint64>& ids)
{
    ids.clear();
    if (words.isEmpty())
        return Result::success();
    if (servesFromIndex()) {
        const Result found = m_search->fromIndex(words, ids);
        if (found)
            return found;
        // A damaged index is made anew once this statement is done; this search reads the book.
        QMetaObject::invokeMethod(
            this, [this, why = found.message] { indexBroken(why); }, Qt::QueuedConnection);
    }
    return m_search->fromBook(words, ids);
}

bool MemoIndex::findExactly(const QStringList& words, QVector<qint64>& ids)
{
    if (!m_search)
        return false;
    if (servesFromIndex()) {
        if (m_state != State::Ready || IndexSearch::bookVersion(m_book->handle()) != m_agreedVersion)
            return false;
        // A damaged index falls back to reading the book, which is exact too.
        return bool(find(words, ids));
    }
    return m_search->fromKeptScan(words, ids);
}

bool MemoIndex::answersAtOnce(const QStringList& words)
{
    if (!m_search || servesFromIndex())
        return true;
    QVector<qint64> ids;
    if (m_search->fromKeptScan(words, ids))
        return true;
    Statement last(m_book->handle(),
                   QStringLiteral("SELECT max(ID) FROM main.%1").arg(quoteIdentifier(Schema::MemoTable)));
    return last.step() == Statement::Step::Row && last.int64(0) <= m_readAtOnceLimit;
}

BackgroundTask* MemoIndex::readBookFor(QObject* owner, const QStringList& words, std::function<void()> ready)
{
    if (!m_search)
        return nullptr;
    const IndexSearch::ScanTicket ticket = m_search->beginScan();
    QPointer<MemoIndex> self(this);
    BackgroundTask* task = BackgroundTask::start(
        owner,
        [book = m_bookPath, words](const BackgroundTask::Stop& stop) {
            QVector<qint64> ids;
            if (!IndexSearch::scanBook(book, words, stop, ids))
                return std::optional<QVector<qint64>>();
            return std::optional<QVector<qint64>>(std::move(ids));
        },
        [self, ticket, words, ready = std::move(ready)](std::optional<QVector<qint64>> ids) {
            if (!self)
                return;
            if (ids)
                self->m_search->keepScan(ticket, words, std::move(*ids));
            else
                self->m_search->dropScan(ticket);
            ready();
        });
    // A reading stopped or dropped leaves nothing to keep.
    connect(task, &QObject::destroyed, this, [this, ticket] {
        if (m_search)
            m_search->dropScan(ticket);
    });
    return task;
}
