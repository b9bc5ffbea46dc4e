#include "SessionDiscovery.h"
#include "SessionParsing.h"
#include "platform/Paths.h"
#include "probe/TranscriptFolders.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace {

constexpr int ancestorsExamined = 6;

QString decimal(qint64 pid)
{
    return QString::number(pid);
}

} // namespace

SessionDiscovery::SessionDiscovery(ShellRunner runner, QString homeDirectory, qint64 ownPid)
    : m_runner(std::move(runner)), m_homeDirectory(std::move(homeDirectory)), m_ownPid(ownPid)
{}

SessionDiscovery SessionDiscovery::forCurrentUser()
{
    return SessionDiscovery(runShell, Paths::homeDirectory(), QCoreApplication::applicationPid());
}

QList<ClaudeSession> SessionDiscovery::discoverSessions() const
{
    QList<ClaudeSession> sessions;
    const QString listing = m_runner(QStringLiteral("ps -axo pid,ppid,comm,args"));
    for (const QString &text : listing.split(QLatin1Char('\n'))) {
        const auto line = SessionParsing::parseProcessLine(text);
        if (!line || !SessionParsing::isCandidate(*line) || line->pid == m_ownPid)
            continue;
        const qint64 pid = line->pid;
        const QString workingDirectory = readWorkingDirectory(pid);
        if (workingDirectory.isEmpty())
            continue;
        const TerminalType terminal = detectTerminal(pid);
        const std::optional<qint64> shellPid = findShellPid(pid);
        const std::optional<QString> tty = readTTY(pid);
        if (!tty)
            continue;
        const std::optional<QString> focusURL = findWarpFocusURL(pid);
        std::optional<QString> resumeID = SessionParsing::resumeIDFromArguments(line->arguments);
        if (!resumeID)
            resumeID = latestTranscriptID(workingDirectory);
        sessions.append(
            ClaudeSession{pid, pid, workingDirectory, resumeID, terminal, shellPid, tty, focusURL, true});
    }
    return sessions;
}

QString SessionDiscovery::readWorkingDirectory(qint64 pid) const
{
    return SessionParsing::workingDirectoryFromLsof(
        m_runner(QStringLiteral("lsof -a -p ") + decimal(pid) + QStringLiteral(" -d cwd -Fn 2>/dev/null")));
}

template<typename T, typename Probe>
std::optional<T> SessionDiscovery::walkAncestors(qint64 pid, Probe probe) const
{
    qint64 current = pid;
    for (int examined = 1;; ++examined) {
        if (auto found = probe(m_runner(QStringLiteral("ps eww -p ") + decimal(current))))
            return found;
        const auto parent = SessionParsing::parentForWalk(
            m_runner(QStringLiteral("ps -p ") + decimal(current) + QStringLiteral(" -o ppid=")), current);
        if (!parent || examined >= ancestorsExamined)
            return std::nullopt;
        current = *parent;
    }
}

TerminalType SessionDiscovery::detectTerminal(qint64 pid) const
{
    return walkAncestors<TerminalType>(pid, SessionParsing::terminalFromEnvironment)
        .value_or(TerminalType::unknown);
}

std::optional<qint64> SessionDiscovery::findShellPid(qint64 pid) const
{
    const auto parent = SessionParsing::parentForShell(
        m_runner(QStringLiteral("ps -p ") + decimal(pid) + QStringLiteral(" -o ppid=")));
    if (!parent)
        return std::nullopt;
    if (!SessionParsing::isKnownShell(
            m_runner(QStringLiteral("ps -p ") + decimal(*parent) + QStringLiteral(" -o comm="))))
        return std::nullopt;
    return parent;
}

std::optional<QString> SessionDiscovery::readTTY(qint64 pid) const
{
    return SessionParsing::ttyFromPs(
        m_runner(QStringLiteral("ps -p ") + decimal(pid) + QStringLiteral(" -o tty=")));
}

std::optional<QString> SessionDiscovery::findWarpFocusURL(qint64 pid) const
{
    return walkAncestors<QString>(pid, SessionParsing::warpFocusURLFromListing);
}

std::optional<QString> SessionDiscovery::findTmuxSocket(qint64 pid) const
{
    return walkAncestors<QString>(pid, SessionParsing::tmuxSocketFromListing);
}

std::optional<QString> SessionDiscovery::latestTranscriptID(const QString &workingDirectory) const
{
    return TranscriptFolders::latestSessionID(Paths::claudeProjectsDirectory(m_homeDirectory),
                                              workingDirectory);
}
