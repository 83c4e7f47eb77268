#pragma once

#include <functional>

// Waiting inside the user-interface thread without spinning: the event loop runs, so the
// window system's events arrive, and the wait ends on the signal that can end it.
namespace EventWait {

// Runs the event loop until reached() holds, tested whenever the keyboard focus or the
// active window changes, or until timeoutMs have passed. Returns reached().
bool untilFocus(const std::function<bool()>& reached, int timeoutMs);

// Runs the event loop until the events posted so far, and those that they post in turn,
// have been handled.
void untilSettled();

} // namespace EventWait
