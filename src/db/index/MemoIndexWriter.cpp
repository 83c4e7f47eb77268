#include "db/index/MemoIndexWriter.h"

#include "db/Statement.h"
#include "db/index/MemoIndexFile.h"

#include <sqlite3.h>

namespace {

Result writeAll(const QString& indexPath, const QList<MemoIndexWriter::Change>& changes)
{
    Result done;
    const SqliteHandle owned = MemoIndexFile::openConnection(indexPath, false, false, &done);
    sqlite3* const db = owned.get();
    if (!db)
        return done;
    // Derived data: a crash costs a comparison at the next start, not a lost memo.
    done = Statement::run(db, QStringLiteral("PRAGMA synchronous = OFF"));
    if (done)
        done = Statement::run(db, QStringLiteral("BEGIN"));
    for (const MemoIndexWriter::Change& change : changes) {
        if (!done)
            break;
        done = MemoIndexFile::apply(db, change.id, change.oldBodies, change.current ? &*change.current : nullptr);
    }
    if (done)
        done = Statement::run(db, QStringLiteral("COMMIT"));
    return done;
}

} // namespace

MemoIndexWriter::MemoIndexWriter(Written written, std::function<void()> settled)
    : m_written(std::move(written)), m_settled(std::move(settled))
{
    m_thread = std::thread([this] { run(); });
}

MemoIndexWriter::~MemoIndexWriter()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void MemoIndexWriter::write(const QString& indexPath, QList<Change> changes)
{
    {
        std::lock_guard lock(m_mutex);
        m_queue.emplace_back(indexPath, std::move(changes));
    }
    m_wake.notify_all();
}

void MemoIndexWriter::drain()
{
    std::unique_lock lock(m_mutex);
    m_drained.wait(lock, [this] { return m_queue.empty() && !m_busy; });
}

bool MemoIndexWriter::idle()
{
    std::lock_guard lock(m_mutex);
    return m_queue.empty() && !m_busy;
}

void MemoIndexWriter::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
        if (m_queue.empty()) // stopping, with nothing left to write
            return;
        auto [path, changes] = std::move(m_queue.front());
        m_queue.pop_front();
        m_busy = true;
        lock.unlock();
        const Result outcome = writeAll(path, changes);
        m_written(changes, outcome);
        lock.lock();
        m_busy = false;
        m_drained.notify_all();
        if (m_queue.empty() && m_settled) {
            lock.unlock();
            m_settled();
            lock.lock();
        }
    }
}
