#pragma once

#include "sessions/ClaudeSession.h"
#include "sessions/ProcessSource.h"

#include <QList>
#include <QString>

#include <memory>
#include <optional>

// Finds the Claude Code sessions running for this user from what the process source tells and
// the transcript folder. Every operation blocks while it reads, so none may run on the main
// thread; they touch no shared state.
class SessionDiscovery
{
public:
    // `homeDirectory` is where ".claude/projects" is looked up; `ownPid` is never listed.
    SessionDiscovery(std::shared_ptr<const ProcessSource> source, QString homeDirectory, qint64 ownPid);
    // This system's source, the current home and this process.
    static SessionDiscovery forCurrentUser();

    // In the order of the process list. Only Claude Code itself is a session, never a process
    // started inside one, and only where its directory and terminal are known exactly: a process
    // that could not be restarted as it was is never listed, so it is never ended.
    [[nodiscard]] QList<ClaudeSession> discoverSessions() const;

    // Facts about one process; parents come from `table`.
    [[nodiscard]] TerminalType detectTerminal(qint64 pid, const ProcessTable &table) const;
    [[nodiscard]] std::optional<qint64> findShellPid(qint64 pid, const ProcessTable &table) const;
    [[nodiscard]] std::optional<QString> findWarpFocusURL(qint64 pid, const ProcessTable &table) const;
    // The tmux server the session talks to, from the TMUX variable of it or an ancestor.
    [[nodiscard]] std::optional<QString> findTmuxSocket(qint64 pid) const;
    [[nodiscard]] std::optional<QString> latestTranscriptID(const QString &workingDirectory) const;

private:
    // Walks from `pid` up its ancestors, at most six processes, handing each one's environment
    // to `probe` until it gives a value.
    template<typename T, typename Probe>
    std::optional<T> walkAncestors(qint64 pid, const ProcessTable &table, Probe probe) const;

    std::shared_ptr<const ProcessSource> m_source;
    QString m_homeDirectory;
    qint64 m_ownPid = 0;
};
