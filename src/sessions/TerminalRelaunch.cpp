#include "sessions/TerminalRelaunch.h"
#include "platform/SessionLog.h"
#include "platform/TerminalScripting.h"
#include "sessions/AppleScriptTemplates.h"
#include "sessions/RelaunchCommandLine.h"
#include "sessions/TmuxBridge.h"

#include <QThread>

#include <algorithm>

#include <signal.h>
#include <sys/types.h>

namespace TerminalRelaunch {

namespace {

constexpr unsigned long afterWarpSignalsMs = 800;
constexpr unsigned long betweenWarpScriptsMs = 600;

} // namespace

bool canScript(TerminalType terminal)
{
    switch (terminal) {
    case TerminalType::tmux:
        return !TmuxBridge::program().isEmpty();
    case TerminalType::unknown:
        // A new Terminal window would start the session somewhere the user never had it.
        return false;
    default:
        return !TerminalScripting::osascriptProgram().isEmpty();
    }
}

bool mayDrive(const QList<ClaudeSession> &sessions)
{
    const QString systemEvents = QStringLiteral("com.apple.systemevents");
    for (const ClaudeSession &session : sessions) {
        bool allowed = true;
        switch (session.terminal) {
        case TerminalType::terminal:
            allowed = TerminalScripting::mayAutomate(QStringLiteral("com.apple.Terminal"));
            break;
        case TerminalType::iterm2:
            allowed = TerminalScripting::mayAutomate(QStringLiteral("com.googlecode.iterm2"));
            break;
        case TerminalType::vscode:
            allowed = TerminalScripting::mayAutomate(systemEvents) && TerminalScripting::mayTypeKeystrokes();
            break;
        case TerminalType::warp:
            allowed = TerminalScripting::mayAutomate(QStringLiteral("dev.warp.Warp-Stable")) &&
                      TerminalScripting::mayAutomate(systemEvents) && TerminalScripting::mayTypeKeystrokes();
            break;
        case TerminalType::tmux:
        case TerminalType::unknown:
            break; // tmux needs no permission (the caller asks its server); unknown never gets here
        }
        if (!allowed)
            return false;
    }
    return true;
}

bool canRelaunch(const ClaudeSession &session)
{
    const bool typeable = std::none_of(session.workingDirectory.cbegin(), session.workingDirectory.cend(),
                                       [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; });
    return typeable && canScript(session.terminal);
}

void sendSignal(qint64 pid, int signal)
{
    ::kill(static_cast<pid_t>(pid), signal);
}

void relaunchInTerminal(const ClaudeSession &session)
{
    TerminalScripting::runAppleScript(AppleScriptTemplates::scriptForSession(session));
}

void relaunchInTmux(const ClaudeSession &session, const std::optional<QString> &socket)
{
    TmuxBridge::typeLine(TmuxBridge::findTarget(session, socket), RelaunchCommandLine::commandLine(session));
}

QList<ClaudeSession> sortedWarpBatch(QList<ClaudeSession> sessions)
{
    std::stable_sort(sessions.begin(), sessions.end(), [](const ClaudeSession &a, const ClaudeSession &b) {
        return a.shellPid.value_or(a.pid) < b.shellPid.value_or(b.pid);
    });
    return sessions;
}

QList<ClaudeSession> focusLinksFirst(const QList<ClaudeSession> &sortedSessions)
{
    QList<ClaudeSession> ordered;
    for (const ClaudeSession &session : sortedSessions) {
        if (session.warpFocusURL)
            ordered.append(session);
    }
    for (const ClaudeSession &session : sortedSessions) {
        if (!session.warpFocusURL)
            ordered.append(session);
    }
    return ordered;
}

QList<QString> warpBatchScripts(const QList<ClaudeSession> &orderedSessions)
{
    using namespace AppleScriptTemplates;
    QList<QString> scripts;
    for (const ClaudeSession &session : orderedSessions) {
        const QString directory =
            escapeForAppleScript(RelaunchCommandLine::directoryLine(session.workingDirectory));
        const QString command = escapeForAppleScript(RelaunchCommandLine::claudeCommand(session));
        scripts.append(session.warpFocusURL
                           ? warpFocusScript(escapeForAppleScript(*session.warpFocusURL), directory, command)
                           : warpNewTabScript(directory, command));
    }
    return scripts;
}

std::pair<qint64, int> warpSignal(const ClaudeSession &session)
{
    if (session.warpFocusURL)
        return {session.pid, SIGTERM};
    return {session.shellPid.value_or(session.pid), SIGKILL};
}

void relaunchWarpBatch(const QList<ClaudeSession> &sortedSessions)
{
    // Focus-link sessions keep their shell, and the new command goes into that same tab; the
    // others lose their shell and restart in a new tab.
    const QList<ClaudeSession> ordered = focusLinksFirst(sortedSessions);
    if (!mayDrive(ordered)) {
        SessionLog::relaunchSkipped(QStringLiteral("Warp"));
        return;
    }
    for (const ClaudeSession &session : ordered) {
        const auto [pid, signal] = warpSignal(session);
        sendSignal(pid, signal);
    }
    QThread::msleep(afterWarpSignalsMs);
    const QList<QString> scripts = warpBatchScripts(ordered);
    for (qsizetype i = 0; i < scripts.size(); ++i) {
        if (i > 0)
            QThread::msleep(betweenWarpScriptsMs);
        TerminalScripting::runAppleScript(scripts.at(i));
    }
}

} // namespace TerminalRelaunch
