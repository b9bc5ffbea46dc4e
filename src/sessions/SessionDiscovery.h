#pragma once

#include "ClaudeSession.h"
#include "ShellRunner.h"

#include <QList>
#include <QString>

#include <optional>

// Finds the Claude Code sessions running for this user by asking `ps` and `lsof` and reading
// the transcript folder. Every operation blocks while its child processes run, so none may run
// on the main thread; they touch no shared state.
class SessionDiscovery
{
public:
    // `homeDirectory` is where ".claude/projects" is looked up; `ownPid` is never listed.
    SessionDiscovery(ShellRunner runner, QString homeDirectory, qint64 ownPid);
    // The real shell, the current home and this process.
    static SessionDiscovery forCurrentUser();

    // In the order of the `ps` output.
    [[nodiscard]] QList<ClaudeSession> discoverSessions() const;

    [[nodiscard]] QString readWorkingDirectory(qint64 pid) const;
    [[nodiscard]] TerminalType detectTerminal(qint64 pid) const;
    [[nodiscard]] std::optional<qint64> findShellPid(qint64 pid) const;
    [[nodiscard]] std::optional<QString> readTTY(qint64 pid) const;
    [[nodiscard]] std::optional<QString> findWarpFocusURL(qint64 pid) const;
    // The tmux server the session talks to, from the TMUX variable of it or an ancestor.
    [[nodiscard]] std::optional<QString> findTmuxSocket(qint64 pid) const;
    [[nodiscard]] std::optional<QString> latestTranscriptID(const QString &workingDirectory) const;

private:
    // Walks from `pid` up its ancestors, at most six processes, handing each one's "ps eww"
    // listing to `probe` until it gives a value.
    template<typename T, typename Probe> std::optional<T> walkAncestors(qint64 pid, Probe probe) const;

    ShellRunner m_runner;
    QString m_homeDirectory;
    qint64 m_ownPid = 0;
};
