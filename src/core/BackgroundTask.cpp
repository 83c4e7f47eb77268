#include "core/BackgroundTask.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QSet>

namespace {

// The tasks alive now, for the end of the program; touched on the owners' thread only.
QSet<BackgroundTask*>& running()
{
    static QSet<BackgroundTask*> tasks;
    return tasks;
}

} // namespace

BackgroundTask::BackgroundTask(QObject* owner) : QObject(owner)
{
    running().insert(this);
}

BackgroundTask::~BackgroundTask()
{
    running().remove(this);
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

void BackgroundTask::launch(std::function<std::function<void()>()> run)
{
    m_thread = std::thread([this, run = std::move(run)] {
        std::function<void()> handOver = run();
        // Queued to this object: dropped by Qt when the task (with its owner) is gone first.
        QMetaObject::invokeMethod(
            this,
            [this, handOver = std::move(handOver)] {
                if (m_thread.joinable())
                    m_thread.join();
                m_finished = true;
                // What the result sets off may close the owner, and this task with it.
                const QPointer<BackgroundTask> self(this);
                if (!m_stop)
                    handOver();
                if (!self)
                    return;
                Q_EMIT finished();
                deleteLater();
            },
            Qt::QueuedConnection);
    });
}

void BackgroundTask::waitForFinished()
{
    if (m_finished)
        return;
    const QPointer<BackgroundTask> self(this);
    QEventLoop loop;
    connect(this, &BackgroundTask::finished, &loop, &QEventLoop::quit);
    connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    // An application that is quitting runs no event loop: the result is handed over here.
    if (self && !m_finished) {
        if (m_thread.joinable())
            m_thread.join();
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    }
}

void BackgroundTask::waitForAll()
{
    // Handing a result over may end other tasks (their owner closed) or start new ones.
    while (!running().isEmpty()) {
        const QPointer<BackgroundTask> task(*running().cbegin());
        task->waitForFinished();
        delete task.data();
    }
}
