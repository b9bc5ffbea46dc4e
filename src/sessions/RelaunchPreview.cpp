#include "sessions/RelaunchPreview.h"
#include "sessions/AppleScriptTemplates.h"
#include "sessions/RelaunchCommandLine.h"
#include "sessions/SessionDiscovery.h"
#include "sessions/TerminalRelaunch.h"
#include "sessions/TmuxBridge.h"

#include <signal.h>

QList<RelaunchStep> previewRelaunch(const QList<ClaudeSession> &sessions,
                                    const std::shared_ptr<const ProcessSource> &source)
{
    const QString appleScript = QStringLiteral("AppleScript");
    QList<RelaunchStep> steps;
    QList<ClaudeSession> warp;
    for (const ClaudeSession &session : sessions) {
        if (!TerminalRelaunch::canRelaunch(session)) {
            steps.append({session, true, std::nullopt, 0, {}, {}});
        } else if (session.terminal == TerminalType::warp) {
            warp.append(session);
        } else if (session.terminal == TerminalType::tmux) {
            const auto socket = SessionDiscovery(source, QString(), 0).findTmuxSocket(session.pid);
            const TmuxBridge::Target target = TmuxBridge::findTarget(session, socket);
            steps.append({session, false, session.pid, SIGTERM, TmuxBridge::describe(target),
                          RelaunchCommandLine::commandLine(session)});
        } else {
            steps.append({session, false, session.pid, SIGTERM, appleScript,
                          AppleScriptTemplates::scriptForSession(session)});
        }
    }
    const QList<ClaudeSession> ordered =
        TerminalRelaunch::focusLinksFirst(TerminalRelaunch::sortedWarpBatch(warp));
    const QList<QString> scripts = TerminalRelaunch::warpBatchScripts(ordered);
    for (qsizetype i = 0; i < ordered.size(); ++i) {
        const auto [pid, signal] = TerminalRelaunch::warpSignal(ordered.at(i));
        steps.append({ordered.at(i), false, pid, signal, appleScript, scripts.at(i)});
    }
    return steps;
}
