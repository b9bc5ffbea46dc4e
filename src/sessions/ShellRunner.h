#pragma once

#include <QString>

#include <functional>

// Runs one command line through "/bin/bash -c" and returns its standard output. Blocking: call
// it off the main thread. The ps-based process source takes the runner as a parameter so tests
// can replay the recorded output of another system's `ps` and `lsof`.
using ShellRunner = std::function<QString(const QString &commandLine)>;

// Standard error is never read; the exit status is ignored. Empty when bash cannot be started,
// runs past the time limit of a short command, or the output is not valid UTF-8.
QString runShell(const QString &commandLine);
