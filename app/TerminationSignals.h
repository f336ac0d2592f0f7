#pragma once

#include <functional>

// SIGTERM and SIGHUP (a logout, a shutdown, "kill PID") run `end` on the main
// thread, once, instead of killing the program where it stands: the handler
// only writes a byte into a pipe that the event loop watches.
void EndOnTerminationSignals(std::function<void()> end);
