#pragma once

#include <functional>

struct sqlite3;

// Waiting for another program's lock on the memo book. Each connection of the program waits
// through this handler instead of SQLite's plain timeout, so that the user sees the program
// wait, and so that one action waits at most the busy timeout in all, however many
// statements it runs. An action is what the program does between two waits of its event
// loop for input (a click and all it sets off); without a running event loop it is one
// operation of a record set (a Scope).
namespace BusyWait {

// Called with true when an action starts to wait for a lock, with false when it is over.
// The windows' layer installs one that shows the busy cursor; the engine knows no widgets.
using Hook = std::function<void(bool waiting)>;
void setHook(Hook hook);

// The longest an action waits, in milliseconds (Connection::BusyTimeoutMs unless set).
int timeoutMs();
void setTimeoutMs(int ms);

// Makes the handler the connection's way of waiting for locks.
void install(sqlite3* db);

// One operation of a record set: outside an event loop, the waits inside it share one
// deadline, and the action ends with the outermost scope.
class Scope
{
public:
    Scope();
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
};

} // namespace BusyWait
