#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

// Writes changed memos into the index file on a thread of its own. A write into the full-text
// tables now and then merges their segments, which on a large index takes seconds; the window
// that saved the memo does not wait for it. It is a queue consumer that lives as long as the
// index, so it keeps a thread of its own rather than a task per write: the writes must reach
// the file in the order the saves were made.
class MemoIndexWriter
{
public:
    struct Change
    {
        qint64 id = 0;
        QList<QByteArray> oldBodies;       // what the index may hold for the memo
        std::optional<QByteArray> current; // what it holds now; none once deleted
        quint64 serial = 0;                // the note of the change that this write answers
    };
    // Told, on the writer's thread, what was written and how it went.
    using Written = std::function<void(const QList<Change>& changes, const Result& outcome)>;

    // settled is told, on the writer's thread, each time it has nothing left to write.
    MemoIndexWriter(Written written, std::function<void()> settled);
    // Writes what is queued, then stops.
    ~MemoIndexWriter();
    MemoIndexWriter(const MemoIndexWriter&) = delete;
    MemoIndexWriter& operator=(const MemoIndexWriter&) = delete;

    void write(const QString& indexPath, QList<Change> changes);
    // Waits until everything queued has been written.
    void drain();
    bool idle();

private:
    void run();

    Written m_written;
    std::function<void()> m_settled;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_drained;
    std::deque<std::pair<QString, QList<Change>>> m_queue;
    bool m_busy = false;
    bool m_stop = false;
    std::thread m_thread;
};
