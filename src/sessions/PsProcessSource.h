#pragma once

#include "sessions/ProcessSource.h"
#include "sessions/ShellRunner.h"

// Processes as BSD ps and lsof print them (macOS): "ps -axo pid,ppid,comm,args" for the list,
// "lsof -a -p <id> -d cwd -Fn" for a directory, "ps eww -p <id>" for an environment and
// "ps -p <id> -o tty=" for a terminal. The runner is a parameter so that recorded output of
// those commands can be replayed anywhere.
class PsProcessSource : public ProcessSource
{
public:
    explicit PsProcessSource(ShellRunner runner) : m_runner(std::move(runner)) {}

    [[nodiscard]] QList<ProcessInfo> processes() const override;
    [[nodiscard]] QString workingDirectory(qint64 pid) const override;
    [[nodiscard]] QStringList environment(qint64 pid) const override;
    [[nodiscard]] std::optional<QString> tty(qint64 pid) const override;

private:
    ShellRunner m_runner;
};
