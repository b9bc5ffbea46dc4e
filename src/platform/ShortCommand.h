#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

// The one way the application runs a short helper command (ps, lsof, which, tmux, osascript):
// started directly by path, given a time limit, and killed with everything it started once the
// limit passes, so that a hung helper can never block discovery or the relaunch queue for good.
// Blocking: call it off the main thread.
namespace ShortCommand {

struct Result
{
    bool started = false;
    bool timedOut = false;
    std::optional<int> exitCode; // nullopt when it did not exit by itself
    QByteArray output;           // standard output (and standard error when asked for)

    [[nodiscard]] bool succeeded() const { return exitCode == 0; }
};

struct Options
{
    std::chrono::milliseconds limit{10'000};
    std::optional<QByteArray> input; // written to standard input, which is then closed
    bool errorsToOutput = false;     // otherwise standard error is discarded
};

// `program` is a path or a bare name looked up in PATH. The environment is the application's.
[[nodiscard]] Result run(const QString &program, const QStringList &arguments, const Options &options = {});

// Runs "/bin/bash -c commandLine" (with `positional` as $0, $1, …) and returns its standard
// output as UTF-8: the empty text when bash cannot start, the limit passes, or the output is not
// UTF-8.
[[nodiscard]] QString shellOutput(const QString &commandLine, const QStringList &positional = {},
                                  std::chrono::milliseconds limit = std::chrono::seconds(10));

} // namespace ShortCommand
