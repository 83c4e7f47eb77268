#pragma once

#include <QObject>
#include <QPointer>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <type_traits>

// Work run on a thread of its own whose result is handed back on the thread of the object that
// started it, the window's. The task belongs to that owner: when the owner goes, the task is
// asked to stop, waited for, and its result dropped, so no result ever reaches a window that is
// gone. Work that can take long looks at stopRequested() (passed to it) and ends early.
class BackgroundTask : public QObject
{
    Q_OBJECT

public:
    using Stop = std::atomic<bool>;

    // Starts `work` (callable as work() or work(const Stop&)); `done` is called with its
    // result on the owner's thread, then finished() is emitted. Returns the task, a child of
    // the owner that deletes itself once done has run.
    template <class Work, class Done> static BackgroundTask* start(QObject* owner, Work work, Done done)
    {
        auto* task = new BackgroundTask(owner);
        task->launch([task, work = std::move(work), done = std::move(done)]() mutable -> std::function<void()> {
            if constexpr (std::is_invocable_v<Work&, const Stop&>) {
                using R = std::invoke_result_t<Work&, const Stop&>;
                if constexpr (std::is_void_v<R>) {
                    work(task->m_stop);
                    return [done = std::move(done)]() mutable { done(); };
                } else {
                    return [done = std::move(done), r = work(task->m_stop)]() mutable { done(std::move(r)); };
                }
            } else {
                using R = std::invoke_result_t<Work&>;
                if constexpr (std::is_void_v<R>) {
                    work();
                    return [done = std::move(done)]() mutable { done(); };
                } else {
                    return [done = std::move(done), r = work()]() mutable { done(std::move(r)); };
                }
            }
        });
        return task;
    }

    // Work with nothing to hand back: files given back to the disk, a folder synced.
    template <class Work> static BackgroundTask* start(QObject* owner, Work work)
    {
        return start(owner, std::move(work), [] {});
    }

    ~BackgroundTask() override;

    void requestStop() { m_stop = true; }
    bool isFinished() const { return m_finished; }

    // Waits for the result to have been handed over, serving the owner's events meanwhile.
    // Returns at once when it has been.
    void waitForFinished();

    // Waits for every task that is still running, at the end of the program.
    static void waitForAll();

Q_SIGNALS:
    void finished();

private:
    explicit BackgroundTask(QObject* owner);
    void launch(std::function<std::function<void()>()> run);

    Stop m_stop{false};
    bool m_finished = false;
    std::thread m_thread;
};
