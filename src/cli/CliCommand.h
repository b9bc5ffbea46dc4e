#pragma once

#include <QStringList>
#include <QTextStream>

#include <QCoro/QCoroTask>

#include <functional>

class ApplicationServices;

// Exit codes shared by every command.
namespace ExitCode {
inline constexpr int ok = 0;
inline constexpr int failure = 1;
inline constexpr int usage = 2;
} // namespace ExitCode

// Where a command writes; tests pass string-backed streams.
struct CliIO
{
    QTextStream &out;
    QTextStream &err;
};

// One `quorlane <name>` command. `run` gets the arguments after the command's name and the
// application's services, which outlive it.
struct CliCommand
{
    QString name;
    QString summary;
    std::function<QCoro::Task<int>(QStringList arguments, CliIO io, ApplicationServices &services)> run;
};

// Every command, in the order `quorlane --help` lists them.
const QList<CliCommand> &cliCommands();
