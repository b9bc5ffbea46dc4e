#pragma once

#include "CliCommand.h"

// One function per command, each in its own file.
QCoro::Task<int> runListCommand(QStringList arguments, CliIO io);
QCoro::Task<int> runDisableCommand(QStringList arguments, CliIO io);
QCoro::Task<int> runEnableCommand(QStringList arguments, CliIO io);
QCoro::Task<int> runWatchCommand(QStringList arguments, CliIO io);
