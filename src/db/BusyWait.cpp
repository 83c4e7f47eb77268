#include "db/BusyWait.h"

#include "db/Connection.h"

#include <QDeadlineTimer>

#include <sqlite3.h>

#include <algorithm>

namespace {

// Everything that waits runs on the user-interface thread; a test's helper threads use
// connections of their own without this handler.
struct State
{
    BusyWait::Hook hook;
    int timeoutMs = Connection::BusyTimeoutMs;
    int depth = 0;
    QDeadlineTimer deadline;
    bool shown = false;
};

State& state()
{
    static State s;
    return s;
}

int handler(void*, int count)
{
    State& s = state();
    // Outside an operation each locking event has its own deadline.
    if (s.depth == 0 && count == 0)
        s.deadline.setRemainingTime(s.timeoutMs);
    const qint64 remaining = s.deadline.remainingTime();
    if (remaining <= 0)
        return 0;
    if (s.depth > 0 && !s.shown) {
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
    State& s = state();
    if (s.depth++ == 0) {
        s.deadline.setRemainingTime(s.timeoutMs);
        s.shown = false;
    }
}

BusyWait::Scope::~Scope()
{
    State& s = state();
    if (--s.depth == 0 && s.shown) {
        s.shown = false;
        if (s.hook)
            s.hook(false);
    }
}
