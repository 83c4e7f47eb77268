#pragma once

// The busy cursor while the engine waits for another program's lock on the memo book.
namespace BusyCursor {

// Shows the busy cursor over every window of the program, or takes it away again.
void show(bool waiting);
// Makes the engine call show() around every wait for a lock.
void install();

} // namespace BusyCursor
