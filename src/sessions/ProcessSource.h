#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// One process as discovery sees it.
struct ProcessInfo
{
    qint64 pid = 0;
    qint64 parentPid = 0;
    QString name;          // the command name (Linux: the kernel's; BSD ps: its comm column)
    QString executable;    // the executable's path, when the system tells it
    QStringList arguments; // argv, the program's own name first

    bool operator==(const ProcessInfo &) const = default;
};

using ProcessTable = QHash<qint64, ProcessInfo>;

// Where discovery learns about processes. Linux reads /proc directly; macOS asks ps and lsof.
// Every call blocks; none touches shared state.
class ProcessSource
{
public:
    virtual ~ProcessSource() = default;

    // The processes of this user, in the system's order.
    [[nodiscard]] virtual QList<ProcessInfo> processes() const = 0;
    // The exact current directory; empty when it cannot be known exactly.
    [[nodiscard]] virtual QString workingDirectory(qint64 pid) const = 0;
    // "NAME=value" entries (from ps, the words of its listing, arguments included).
    [[nodiscard]] virtual QStringList environment(qint64 pid) const = 0;
    // The controlling terminal's device path; nullopt when it has none.
    [[nodiscard]] virtual std::optional<QString> tty(qint64 pid) const = 0;

    // The source of this system.
    [[nodiscard]] static std::shared_ptr<const ProcessSource> forThisSystem();
};

[[nodiscard]] ProcessTable processTable(const QList<ProcessInfo> &processes);
