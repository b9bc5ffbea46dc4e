#pragma once

#include <csignal>
#include <sys/types.h>

// Starting a child process the way each system allows it best; the rest of ChildProcess is
// portable POSIX.
namespace ChildSpawn {

// What the child's three standard descriptors become: the pipe ends, or -1 for /dev/null.
struct Streams
{
    int input = -1;
    int output = -1;
    bool errorsToOutput = false;
};

// Signals a child starts with at their default action, whatever this process does with them.
inline constexpr int defaultSignals[] = {SIGPIPE, SIGHUP, SIGINT, SIGQUIT, SIGTERM};

// A pipe whose ends close on exec, so an end never leaks into a child another thread starts at
// the same time (it would keep our child's input open after we close it).
bool makePipe(int fds[2]);

// Starts `path` in a process group of its own with the given streams; -1 when it could not be
// started (the program missing or not executable included).
pid_t spawn(const char *path, char *const argv[], char *const envp[], const Streams &streams);

} // namespace ChildSpawn
