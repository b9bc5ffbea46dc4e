#pragma once

#include "sessions/ProcessSource.h"

#include <QByteArray>

// Processes as Linux's /proc tells them, without starting a single program: the kernel's command
// name, parent and terminal from "stat", argv from "cmdline", the executable and the current
// directory from their links, the environment from "environ". Names are the exact bytes, whatever
// the locale; a directory whose bytes are not UTF-8 counts as unknown.
class ProcProcessSource : public ProcessSource
{
public:
    // `root` is "/proc" except in tests of the parsing.
    explicit ProcProcessSource(QByteArray root = "/proc") : m_root(std::move(root)) {}

    [[nodiscard]] QList<ProcessInfo> processes() const override;
    [[nodiscard]] QString workingDirectory(qint64 pid) const override;
    [[nodiscard]] QStringList environment(qint64 pid) const override;
    [[nodiscard]] std::optional<QString> tty(qint64 pid) const override;

private:
    [[nodiscard]] QByteArray path(qint64 pid, const char *entry) const;

    QByteArray m_root;
};
