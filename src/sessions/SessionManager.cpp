#include "sessions/SessionManager.h"
#include "platform/Paths.h"
#include "platform/SessionLog.h"
#include "sessions/SessionDiscovery.h"
#include "sessions/TerminalRelaunch.h"
#include "sessions/TmuxBridge.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QtConcurrent>

#include <QCoro/QCoroFuture>

#include <signal.h>

namespace {

constexpr unsigned long afterTerminateMs = 500;

// The worker gets its own copy of everything it needs, never the manager.
QFuture<QList<ClaudeSession>> startDiscovery(const std::shared_ptr<const ProcessSource> &source)
{
    return QtConcurrent::run(
        [source, home = Paths::homeDirectory(), pid = QCoreApplication::applicationPid()] {
            return SessionDiscovery(source, home, pid).discoverSessions();
        });
}

} // namespace

SessionManager::SessionManager(std::shared_ptr<const ProcessSource> source, RelaunchQueue *queue,
                               QObject *parent)
    : QObject(parent), m_source(std::move(source)), m_queue(queue),
      m_claudeProjectsRoot(Paths::claudeProjectsDirectory())
{}

QCoro::Task<void> SessionManager::refreshSessions()
{
    QPointer<SessionManager> self(this);
    // The future is made outside the coroutine: GCC 12 destroys temporaries with captures
    // twice when they sit in a co_await expression.
    QFuture<QList<ClaudeSession>> discovery = startDiscovery(m_source);
    QList<ClaudeSession> sessions = co_await discovery;
    if (!self)
        co_return;
    m_sessionSnapshots = std::move(sessions);
    Q_EMIT sessionSnapshotsChanged();
}

QList<ClaudeSession> SessionManager::sessionsInProject(QString projectPath) const
{
    if (projectPath.endsWith(QLatin1Char('/')))
        projectPath.chop(1);
    const QString below = projectPath + QLatin1Char('/');
    QList<ClaudeSession> selected;
    for (const ClaudeSession &session : m_sessionSnapshots) {
        if (session.workingDirectory == projectPath || session.workingDirectory.startsWith(below))
            selected.append(session);
    }
    return selected;
}

QList<ClaudeSession> SessionManager::relaunchSessions(QString projectPath, double delaySeconds)
{
    return relaunch(sessionsInProject(std::move(projectPath)), delaySeconds);
}

void SessionManager::cancelPending(qint64 pid)
{
    if (const auto item = m_relaunchWorkItems.value(pid))
        item->cancel();
}

QList<ClaudeSession> SessionManager::relaunch(const QList<ClaudeSession> &sessions, double delaySeconds)
{
    for (const ClaudeSession &session : sessions)
        cancelPending(session.pid);

    QList<ClaudeSession> leftAlone;
    QList<ClaudeSession> warp;
    for (const ClaudeSession &session : sessions) {
        if (!TerminalRelaunch::canRelaunch(session))
            leftAlone.append(session);
        else if (session.terminal == TerminalType::warp)
            warp.append(session);
        else
            scheduleRelaunch(session, delaySeconds);
    }
    if (!warp.isEmpty()) {
        const QList<ClaudeSession> batch = TerminalRelaunch::sortedWarpBatch(warp);
        // One item for the whole batch: cancelling it through any one session's entry
        // cancels every Warp session of the request.
        auto item =
            std::make_shared<RelaunchWorkItem>([batch] { TerminalRelaunch::relaunchWarpBatch(batch); });
        for (const ClaudeSession &session : batch)
            m_relaunchWorkItems.insert(session.pid, item);
        relaunchQueue().schedule(item, delaySeconds);
    }
    return leftAlone;
}

void SessionManager::scheduleRelaunch(const ClaudeSession &session, double delaySeconds)
{
    cancelPending(session.pid);
    auto item = std::make_shared<RelaunchWorkItem>([session, source = m_source] {
        std::optional<QString> socket;
        // The server is read while the process still lives to tell it.
        if (session.terminal == TerminalType::tmux)
            socket = SessionDiscovery(source, QString(), 0).findTmuxSocket(session.pid);
        // Asked before the signal: a session whose terminal may not be driven keeps running.
        const bool drivable = session.terminal == TerminalType::tmux ? TmuxBridge::serverAnswers(socket)
                                                                     : TerminalRelaunch::mayDrive({session});
        if (!drivable) {
            SessionLog::relaunchSkipped(TerminalTypes::toString(session.terminal));
            return;
        }
        TerminalRelaunch::sendSignal(session.pid, SIGTERM);
        QThread::msleep(afterTerminateMs);
        if (session.terminal == TerminalType::tmux)
            TerminalRelaunch::relaunchInTmux(session, socket);
        else
            TerminalRelaunch::relaunchInTerminal(session);
    });
    m_relaunchWorkItems.insert(session.pid, item);
    relaunchQueue().schedule(item, delaySeconds);
}
