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
                if (!m_stop)
                    handOver();
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
    QEventLoop loop;
    connect(this, &BackgroundTask::finished, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void BackgroundTask::waitForAll()
{
    const QSet<BackgroundTask*> tasks = running();
    for (BackgroundTask* task : tasks) {
        if (running().contains(task)) {
            QPointer<BackgroundTask> alive(task);
            task->waitForFinished();
            if (alive)
                delete task;
        }
    }
}
