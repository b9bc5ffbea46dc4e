#pragma once

#include "sessions/ClaudeSession.h"

#include <QString>
#include <QStringList>

#include <optional>

// Types a relaunch command into a tmux pane. tmux is driven with its own arguments (no shell in
// between), on the server the session belongs to: people run several, so the socket comes from
// the session's TMUX variable rather than from the default.
namespace TmuxBridge {

// The tmux program, or empty when there is none.
QString program();

// Where a line goes: the pane whose tty is the session's, or a new window in the session's
// working directory when no pane has it any more.
struct Target
{
    std::optional<QString> socket; // absent: the default server
    std::optional<QString> paneID; // absent: a new window
    QString workingDirectory;

    bool operator==(const Target &) const = default;
};

Target findTarget(const ClaudeSession &session, const std::optional<QString> &socket);

// Whether the server answers at all: without it nothing could be typed after the signal.
bool serverAnswers(const std::optional<QString> &socket);

// Types `line` literally into the target, then Enter.
void typeLine(const Target &target, const QString &line);

// How a dry run shows the target, e.g. "tmux -S /tmp/tmux-1000/default pane %3".
QString describe(const Target &target);

} // namespace TmuxBridge
