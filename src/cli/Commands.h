#pragma once

#include "cli/CliCommand.h"

// One function per command, each in its own file.
QCoro::Task<int> runListCommand(QStringList arguments, CliIO io, ApplicationServices &services);
QCoro::Task<int> runDisableCommand(QStringList arguments, CliIO io, ApplicationServices &services);
QCoro::Task<int> runEnableCommand(QStringList arguments, CliIO io, ApplicationServices &services);
QCoro::Task<int> runTokensCommand(QStringList arguments, CliIO io, ApplicationServices &services);
QCoro::Task<int> runSavingsCommand(QStringList arguments, CliIO io, ApplicationServices &services);
QCoro::Task<int> runSessionsCommand(QStringList arguments, CliIO io, ApplicationServices &services);
QCoro::Task<int> runRelaunchCommand(QStringList arguments, CliIO io, ApplicationServices &services);
QCoro::Task<int> runWatchCommand(QStringList arguments, CliIO io, ApplicationServices &services);
QCoro::Task<int> runPrefsCommand(QStringList arguments, CliIO io, ApplicationServices &services);
QCoro::Task<int> runCheckUpdateCommand(QStringList arguments, CliIO io, ApplicationServices &services);
QCoro::Task<int> runProfileCommand(QStringList arguments, CliIO io, ApplicationServices &services);
// `quorlane profile apply`, reached through runProfileCommand.
QCoro::Task<int> runProfileApplyCommand(QStringList arguments, CliIO io, ApplicationServices &services);
