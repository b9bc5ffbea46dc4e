#pragma once

#include <functional>

// SIGTERM, SIGINT and SIGHUP, handled on the main thread. The handler itself only writes the
// signal's number into a pipe (all a handler may safely do); the event loop reads it and, once no
// switch is in progress (SwitchInProgress), calls `onSignal` with it. So a switch that has begun
// finishes or rolls back and releases every lock before the process ends, and a lock folder is
// never left behind for the next command to wait on. Installed once per process; a second
// signal while waiting changes nothing.
namespace TerminationSignals {

void install(std::function<void(int signal)> onSignal);

// For the command line: ends the process with status 128 + signal after flushing standard output
// and error, and ends the children it started (their groups would otherwise outlive it).
[[noreturn]] void exitFor(int signal);

} // namespace TerminationSignals
