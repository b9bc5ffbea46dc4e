#pragma once

#include "sessions/ClaudeSession.h"

#include <QList>
#include <QString>

#include <optional>

// The work a relaunch does on the relaunch queue: signals, pauses and the text sent to each
// terminal. Blocking; runs only on the queue (or in a dry run, which sends nothing).
namespace TerminalRelaunch {

// Whether this system can type into the session's terminal. Where it cannot, the session is
// left alone: a process that cannot be restarted is never killed. Terminals Quorlane has no
// script for (Ghostty, kitty, WezTerm…: `unknown`) are never scripted.
bool canScript(TerminalType terminal);

// Just before the signal, on the relaunch queue: whether the scripts of these sessions may run
// now (on macOS the Automation permission for each application they drive, and the
// accessibility trust for keystrokes, asking the user the first time). Blocking. Where not,
// the sessions are left running.
bool mayDrive(const QList<ClaudeSession> &sessions);

// Whether the session can be restarted as it was: its terminal can be scripted and its folder
// can be typed (a control character would be read by the line editor as a key, not a letter).
bool canRelaunch(const ClaudeSession &session);

// Delivery results are ignored: a process that has already ended is no error.
void sendSignal(qint64 pid, int signal);

// Terminal, iTerm2, VS Code and unknown sessions: their script, through AppleScript.
void relaunchInTerminal(const ClaudeSession &session);

// tmux sessions: the command line typed into the session's pane on its own server.
void relaunchInTmux(const ClaudeSession &session, const std::optional<QString> &socket);

// Warp sessions in the batch's order: focus-link sessions first, ordered by shell id.
QList<ClaudeSession> sortedWarpBatch(QList<ClaudeSession> sessions);

// The order in which a sorted batch is signalled and scripted: the sessions with a focus link,
// then those without, each group in the sorted order.
QList<ClaudeSession> focusLinksFirst(const QList<ClaudeSession> &sortedSessions);

// One script per session of `orderedSessions`, in that order.
QList<QString> warpBatchScripts(const QList<ClaudeSession> &orderedSessions);

// The process each Warp session's signal goes to, and which signal: SIGTERM to a session with
// a focus link (its tab stays for the new command), SIGKILL to the shell of one without.
std::pair<qint64, int> warpSignal(const ClaudeSession &session);

// Signals the whole batch, waits 0.8 s, then runs the scripts 0.6 s apart.
void relaunchWarpBatch(const QList<ClaudeSession> &sortedSessions);

} // namespace TerminalRelaunch
