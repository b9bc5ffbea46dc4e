#include "sessions/PsProcessSource.h"
#include "sessions/SessionParsing.h"

namespace {

QString decimal(qint64 pid)
{
    return QString::number(pid);
}

} // namespace

QList<ProcessInfo> PsProcessSource::processes() const
{
    QList<ProcessInfo> processes;
    const QString listing = m_runner(QStringLiteral("ps -axo pid,ppid,comm,args"));
    for (const QString &text : listing.split(QLatin1Char('\n'))) {
        if (auto process = SessionParsing::parseProcessLine(text))
            processes.append(std::move(*process));
    }
    return processes;
}

QString PsProcessSource::workingDirectory(qint64 pid) const
{
    return SessionParsing::workingDirectoryFromLsof(
        m_runner(QStringLiteral("lsof -a -p ") + decimal(pid) + QStringLiteral(" -d cwd -Fn 2>/dev/null")));
}

QStringList PsProcessSource::environment(qint64 pid) const
{
    return SessionParsing::wordsOfListing(m_runner(QStringLiteral("ps eww -p ") + decimal(pid)));
}

std::optional<QString> PsProcessSource::tty(qint64 pid) const
{
    return SessionParsing::ttyFromPs(
        m_runner(QStringLiteral("ps -p ") + decimal(pid) + QStringLiteral(" -o tty=")));
}
