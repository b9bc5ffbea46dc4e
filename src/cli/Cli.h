#pragma once

#include "cli/CliCommand.h"

// The command-line front end: `arguments` are those after the program name. Runs the command
// over `services` to completion (an event loop turns while it waits) and returns the process
// exit code.
int runCli(const QStringList &arguments, CliIO io, ApplicationServices &services);
// The same over services of its own, freed once the command has ended.
int runCli(const QStringList &arguments, CliIO io);

// The text of `quorlane --help`.
QString cliHelpText();

// Flushes both streams; a command whose output could not be written (a full disk, /dev/full, a
// closed pipe) fails with exit code 1 and says so on standard error. Returns the exit code.
int finishOutput(CliIO io, const QString &command, int code);
