#pragma once

#include <functional>

struct sqlite3;

// Waiting for another program's lock on the memo book. Each connection of the program waits
// through this handler instead of SQLite's plain timeout, so that one operation of a record
// set, however many statements it runs, waits at most the busy timeout in all, and so that
// the user sees that the program waits.
namespace BusyWait {

// Called with true when an operation starts to wait for a lock, with false when it ends.
// The windows' layer installs one that shows the busy cursor; the engine knows no widgets.
using Hook = std::function<void(bool waiting)>;
void setHook(Hook hook);

// The longest an operation waits, in milliseconds (Connection::BusyTimeoutMs unless set).
int timeoutMs();
void setTimeoutMs(int ms);

// Makes the handler the connection's way of waiting for locks.
void install(sqlite3* db);

// One operation: every wait inside it, nested scopes included, ends by the same deadline,
// and the busy indication, once shown, ends with the outermost scope.
class Scope
{
public:
    Scope();
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
};

} // namespace BusyWait
