#pragma once

#include <QList>
#include <QMetaType>
#include <QString>

#include <array>
#include <optional>

// The terminal application that hosts a session. `tmux` goes first in detection: tmux sets
// TERM_PROGRAM for its panes, and a pane inside iTerm2 or Warp must be driven through tmux.
enum class TerminalType
{
    terminal,
    iterm2,
    warp,
    vscode,
    unknown,
    tmux
};

namespace TerminalTypes {

inline constexpr std::array<TerminalType, 6> all{TerminalType::terminal, TerminalType::iterm2,
                                                 TerminalType::warp,     TerminalType::vscode,
                                                 TerminalType::unknown,  TerminalType::tmux};

// "Terminal", "iTerm2", "Warp", "Code", "Unknown", "tmux".
QString toString(TerminalType type);
std::optional<TerminalType> fromString(const QString &text);

} // namespace TerminalTypes

// One running Claude Code command-line session.
struct ClaudeSession
{
    qint64 id = 0; // always equal to pid
    qint64 pid = 0;
    QString workingDirectory;
    std::optional<QString> resumeID;
    TerminalType terminal = TerminalType::unknown;
    std::optional<qint64> shellPid;
    std::optional<QString> tty;          // starts with "/dev/"
    std::optional<QString> warpFocusURL; // starts with "warp://"
    bool isRunning = true;

    bool operator==(const ClaudeSession &) const = default;
};

Q_DECLARE_METATYPE(ClaudeSession)
