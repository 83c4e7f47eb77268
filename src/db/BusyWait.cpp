#include "db/BusyWait.h"

#include "db/Connection.h"

#include <QAbstractEventDispatcher>
#include <QDeadlineTimer>
#include <QPointer>
#include <QThread>

#include <sqlite3.h>

#include <algorithm>
#include <iterator>

namespace {

// Everything that waits runs on the user-interface thread; a test's helper threads use
// connections of their own without this handler.
struct State
{
    BusyWait::Hook hook;
    int timeoutMs = Connection::BusyTimeoutMs;
    int depth = 0;
    bool acting = false; // an action has waited, and its deadline runs
    QDeadlineTimer deadline;
    bool shown = false;
    QPointer<QAbstractEventDispatcher> watched;
};

State& state()
{
    static State s;
    return s;
}

bool inEventLoop()
{
    return QThread::currentThread()->loopLevel() > 0;
}

void endAction()
{
    State& s = state();
    s.acting = false;
    if (s.shown) {
        s.shown = false;
        if (s.hook)
            s.hook(false);
    }
}

// The action ends when the event loop next waits for input.
void watchEventLoop()
{
    State& s = state();
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (dispatcher && dispatcher != s.watched) {
        s.watched = dispatcher;
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, dispatcher, &endAction);
    }
}

int handler(void*, int count)
{
    State& s = state();
    if (!s.acting) {
        if (inEventLoop() || s.depth > 0) {
            s.acting = true;
            s.deadline.setRemainingTime(s.timeoutMs);
            if (inEventLoop())
                watchEventLoop();
        } else if (count == 0) {
            // A statement run outside any action waits on its own.
            s.deadline.setRemainingTime(s.timeoutMs);
        }
    }
    const qint64 remaining = s.deadline.remainingTime();
    if (remaining <= 0)
        return 0;
    if (s.acting && !s.shown) {
        s.shown = true;
        if (s.hook)
            s.hook(true);
    }
    // Short sleeps first, as SQLite's own timeout does: most locks are a save of a few
    // milliseconds by the other program.
    static const int delays[] = {1, 2, 5, 10, 15, 20, 25, 25, 25, 50, 50, 100};
    const int delay = delays[std::min<int>(count, int(std::size(delays)) - 1)];
    sqlite3_sleep(int(std::min<qint64>(delay, remaining)));
    return 1;
}

} // namespace

void BusyWait::setHook(Hook hook)
{
    state().hook = std::move(hook);
}

int BusyWait::timeoutMs()
{
    return state().timeoutMs;
}

void BusyWait::setTimeoutMs(int ms)
{
    state().timeoutMs = ms;
}

void BusyWait::install(sqlite3* db)
{
    sqlite3_busy_handler(db, &handler, nullptr);
}

BusyWait::Scope::Scope()
{
    ++state().depth;
}

BusyWait::Scope::~Scope()
{
    if (--state().depth == 0 && !inEventLoop())
        endAction();
}
