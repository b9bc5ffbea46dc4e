#include "sessions/SessionDiscovery.h"
#include "platform/Paths.h"
#include "platform/TranscriptFolders.h"
#include "sessions/SessionParsing.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace {

constexpr int ancestorsExamined = 6;

// Claude Code runs commands, MCP servers and at times another claude below itself; none of them
// is a session of its own.
bool descendsFromCandidate(qint64 pid, const ProcessTable &table, const QSet<qint64> &candidates)
{
    QSet<qint64> seen{pid};
    for (qint64 current = table.value(pid).parentPid; current > 1 && !seen.contains(current);
         current = table.value(current).parentPid) {
        if (candidates.contains(current))
            return true;
        seen.insert(current);
    }
    return false;
}

} // namespace

SessionDiscovery::SessionDiscovery(std::shared_ptr<const ProcessSource> source, QString homeDirectory,
                                   qint64 ownPid)
    : m_source(std::move(source)), m_homeDirectory(std::move(homeDirectory)), m_ownPid(ownPid)
{}

SessionDiscovery SessionDiscovery::forCurrentUser()
{
    return SessionDiscovery(ProcessSource::forThisSystem(), Paths::homeDirectory(),
                            QCoreApplication::applicationPid());
}

QList<ClaudeSession> SessionDiscovery::discoverSessions() const
{
    const QList<ProcessInfo> processes = m_source->processes();
    const ProcessTable table = processTable(processes);
    QSet<qint64> candidates;
    for (const ProcessInfo &process : processes) {
        if (SessionParsing::isClaudeCode(process))
            candidates.insert(process.pid);
    }
    QList<ClaudeSession> sessions;
    for (const ProcessInfo &process : processes) {
        const qint64 pid = process.pid;
        if (!candidates.contains(pid) || pid == m_ownPid || descendsFromCandidate(pid, table, candidates))
            continue;
        // A folder that is gone (or was reported inexactly) could not be returned to.
        const QString workingDirectory = m_source->workingDirectory(pid);
        if (workingDirectory.isEmpty() || !QFileInfo(workingDirectory).isDir())
            continue;
        const TerminalType terminal = detectTerminal(pid, table);
        const std::optional<qint64> shellPid = findShellPid(pid, table);
        const std::optional<QString> tty = m_source->tty(pid);
        if (!tty)
            continue;
        const std::optional<QString> focusURL = findWarpFocusURL(pid, table);
        std::optional<QString> resumeID = SessionParsing::resumeIDFromArguments(process.arguments);
        if (!resumeID)
            resumeID = latestTranscriptID(workingDirectory);
        sessions.append(
            ClaudeSession{pid, pid, workingDirectory, resumeID, terminal, shellPid, tty, focusURL, true});
    }
    return sessions;
}

template<typename T, typename Probe>
std::optional<T> SessionDiscovery::walkAncestors(qint64 pid, const ProcessTable &table, Probe probe) const
{
    qint64 current = pid;
    for (int examined = 1;; ++examined) {
        if (auto found = probe(m_source->environment(current)))
            return found;
        const qint64 parent = table.value(current).parentPid;
        if (parent < 2 || parent == current || examined >= ancestorsExamined)
            return std::nullopt;
        current = parent;
    }
}

TerminalType SessionDiscovery::detectTerminal(qint64 pid, const ProcessTable &table) const
{
    return walkAncestors<TerminalType>(pid, table, SessionParsing::terminalFromEnvironment)
        .value_or(TerminalType::unknown);
}

std::optional<qint64> SessionDiscovery::findShellPid(qint64 pid, const ProcessTable &table) const
{
    const qint64 parent = table.value(pid).parentPid;
    if (parent <= 1 || !table.contains(parent) || !SessionParsing::isKnownShell(table.value(parent).name))
        return std::nullopt;
    return parent;
}

std::optional<QString> SessionDiscovery::findWarpFocusURL(qint64 pid, const ProcessTable &table) const
{
    return walkAncestors<QString>(pid, table, SessionParsing::warpFocusURLFromEnvironment);
}

std::optional<QString> SessionDiscovery::findTmuxSocket(qint64 pid) const
{
    return walkAncestors<QString>(pid, processTable(m_source->processes()),
                                  SessionParsing::tmuxSocketFromEnvironment);
}

std::optional<QString> SessionDiscovery::latestTranscriptID(const QString &workingDirectory) const
{
    return TranscriptFolders::latestSessionID(Paths::claudeProjectsDirectory(m_homeDirectory),
                                              workingDirectory);
}
