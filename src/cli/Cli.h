#pragma once

#include "CliCommand.h"

// The command-line front end: `arguments` are those after the program name. Runs the command
// to completion (an event loop turns while it waits) and returns the process exit code.
int runCli(const QStringList &arguments, CliIO io);

// The text of `quorlane --help`.
QString cliHelpText();
