#include "db/BusyWait.h"

#include <sqlite3.h>

#include <algorithm>
#include <iterator>

namespace {

BusyWait::Hook& hook()
{
    static BusyWait::Hook h;
    return h;
}

int& timeout()
{
    static int ms = BusyWait::TimeoutMs;
    return ms;
}

thread_local BusyWait::Action* t_outermost = nullptr;

void notify(bool waiting)
{
    if (hook())
        hook()(waiting);
}

int waitFor(void* deadline, int count)
{
    return static_cast<BusyWait::Deadline*>(deadline)->wait(count) ? 1 : 0;
}

} // namespace

namespace BusyWait {

void setHook(Hook h)
{
    hook() = std::move(h);
}

int timeoutMs()
{
    return timeout();
}

void setTimeoutMs(int ms)
{
    timeout() = ms;
}

bool Deadline::wait(int count)
{
    if (!m_started) {
        m_started = true;
        m_deadline.setRemainingTime(m_timeoutMs);
    }
    const qint64 remaining = m_deadline.remainingTime();
    if (remaining <= 0)
        return false;
    // Short sleeps first, as SQLite's own timeout does: most locks are a save of a few
    // milliseconds by the other program.
    static const int delays[] = {1, 2, 5, 10, 15, 20, 25, 25, 25, 50, 50, 100};
    const int delay = delays[std::min<int>(count, int(std::size(delays)) - 1)];
    sqlite3_sleep(int(std::min<qint64>(delay, remaining)));
    return true;
}

Action::Action()
{
    if (!t_outermost) {
        t_outermost = this;
        m_outermost = true;
    }
}

Action::~Action()
{
    if (!m_outermost)
        return;
    t_outermost = nullptr;
    if (m_shown)
        notify(false);
}

Action* Action::current()
{
    return t_outermost;
}

void Action::inputAwaited()
{
    Action* action = t_outermost;
    if (!action)
        return;
    action->m_deadline = Deadline(timeoutMs());
    if (action->m_shown) {
        action->m_shown = false;
        notify(false);
    }
}

int handler(void*, int count)
{
    Action* action = Action::current();
    if (!action) {
        // A statement run outside any action waits on its own.
        thread_local Deadline own;
        if (count == 0)
            own = Deadline(timeoutMs());
        return own.wait(count) ? 1 : 0;
    }
    if (!action->m_deadline.wait(count))
        return 0;
    if (!action->m_shown) {
        action->m_shown = true;
        notify(true);
    }
    return 1;
}

void install(sqlite3* db)
{
    sqlite3_busy_handler(db, &handler, nullptr);
}

void install(sqlite3* db, Deadline& deadline)
{
    sqlite3_busy_handler(db, &waitFor, &deadline);
}

} // namespace BusyWait
