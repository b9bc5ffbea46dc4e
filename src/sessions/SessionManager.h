#pragma once

#include "sessions/ClaudeSession.h"
#include "sessions/ProcessSource.h"
#include "sessions/RelaunchQueue.h"

#include <QHash>
#include <QObject>

#include <QCoro/QCoroTask>

// Finds the running Claude Code sessions and restarts them after a change of servers, so the
// restarted sessions see the new server set. Lives on the main thread; discovery runs on a
// worker, relaunch work on the relaunch queue.
class SessionManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QList<ClaudeSession> sessionSnapshots READ sessionSnapshots NOTIFY sessionSnapshotsChanged)

public:
    // `source` tells discovery about processes; tests replay recorded output through it.
    // Relaunches run on `queue`, which outlives the manager.
    SessionManager(std::shared_ptr<const ProcessSource> source, RelaunchQueue *queue,
                   QObject *parent = nullptr);

    [[nodiscard]] const QList<ClaudeSession> &sessionSnapshots() const { return m_sessionSnapshots; }
    [[nodiscard]] const QHash<qint64, RelaunchWorkItemPtr> &relaunchWorkItems() const
    {
        return m_relaunchWorkItems;
    }
    [[nodiscard]] const QString &claudeProjectsRoot() const { return m_claudeProjectsRoot; }
    [[nodiscard]] const std::shared_ptr<const ProcessSource> &processSource() const { return m_source; }
    [[nodiscard]] RelaunchQueue &relaunchQueue() const { return *m_queue; }

    // Discovers on a worker and publishes the result; await it before reading sessionSnapshots.
    QCoro::Task<void> refreshSessions();

    // Relaunches the sessions of sessionSnapshots working in `projectPath` or below it.
    QList<ClaudeSession> relaunchSessions(QString projectPath, double delaySeconds);
    // Relaunches exactly `sessions` after `delaySeconds`; a newer request for a process id
    // cancels an older one that has not started. Returns at once, with the sessions left alone
    // because they cannot be restarted from here (see TerminalRelaunch::canRelaunch).
    QList<ClaudeSession> relaunch(const QList<ClaudeSession> &sessions, double delaySeconds);
    // One session outside Warp: SIGTERM, 0.5 s, then its terminal gets the command line.
    void scheduleRelaunch(const ClaudeSession &session, double delaySeconds);

    // The sessions of sessionSnapshots that `relaunchSessions` would pick for `projectPath`.
    [[nodiscard]] QList<ClaudeSession> sessionsInProject(QString projectPath) const;

Q_SIGNALS:
    void sessionSnapshotsChanged();

private:
    void cancelPending(qint64 pid);

    std::shared_ptr<const ProcessSource> m_source;
    RelaunchQueue *m_queue;
    QList<ClaudeSession> m_sessionSnapshots;
    QHash<qint64, RelaunchWorkItemPtr> m_relaunchWorkItems;
    QString m_claudeProjectsRoot;
};
