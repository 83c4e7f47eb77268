#pragma once

#include <QDeadlineTimer>

#include <functional>

struct sqlite3;

// Waiting for another program's lock on the memo book. The program's connections wait
// through this handler instead of SQLite's plain timeout, so that the user sees the program
// wait, and so that one action waits at most the timeout in all, however many statements it
// runs. The deadline is clock time: SQLite's own timeout adds up the sleeps it asked for,
// which on a loaded machine last longer than asked.
namespace BusyWait {

// How long one action waits for another program's lock.
constexpr int TimeoutMs = 5000;

// Called with true when an action starts to wait for a lock, with false when it is over.
// The windows' layer installs one that shows the busy cursor; the engine knows no widgets.
using Hook = std::function<void(bool waiting)>;
void setHook(Hook hook);

// The timeout of the actions that start from now on (TimeoutMs unless a test shortens it).
int timeoutMs();
void setTimeoutMs(int ms);

// A deadline in clock time, started by the first wait.
class Deadline
{
public:
    explicit Deadline(int timeoutMs = BusyWait::timeoutMs()) : m_timeoutMs(timeoutMs) {}
    // Sleeps a little and says true while the deadline has not passed; `count` is SQLite's
    // count of the waits of the statement so far.
    bool wait(int count);
    bool started() const { return m_started; }
    // Waiting starts again from nothing: the user has been given the control meanwhile.
    void restart() { m_started = false; }

private:
    int m_timeoutMs;
    bool m_started = false;
    QDeadlineTimer m_deadline;
};

// One action of the user, or one operation of a record set: the waits of the statements run
// while it is open on this thread share one deadline. Actions nest; the outermost one holds
// the deadline. The windows' layer opens one around each event the program handles; each
// time the event loop waits for input inside it (a message box), its waiting starts afresh.
class Action
{
public:
    Action();
    ~Action();
    Action(const Action&) = delete;
    Action& operator=(const Action&) = delete;

    // The outermost action open on this thread, if any.
    static Action* current();
    // The event loop is about to wait for input: the action's wait is over.
    static void inputAwaited();

private:
    friend int handler(void*, int);
    bool m_outermost = false;
    bool m_shown = false;
    Deadline m_deadline;
};

// Makes the handler the connection's way of waiting for locks: the open action's deadline,
// or one of each statement's own when no action is open.
void install(sqlite3* db);
// The connection's waits all end at `deadline`, which must outlive the connection: one job
// on a thread of its own, such as the start-up backup.
void install(sqlite3* db, Deadline& deadline);

} // namespace BusyWait
