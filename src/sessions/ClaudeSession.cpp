#include "sessions/ClaudeSession.h"

namespace TerminalTypes {

QString toString(TerminalType type)
{
    switch (type) {
    case TerminalType::terminal:
        return QStringLiteral("Terminal");
    case TerminalType::iterm2:
        return QStringLiteral("iTerm2");
    case TerminalType::warp:
        return QStringLiteral("Warp");
    case TerminalType::vscode:
        return QStringLiteral("Code");
    case TerminalType::unknown:
        return QStringLiteral("Unknown");
    case TerminalType::tmux:
        return QStringLiteral("tmux");
    }
    return QStringLiteral("Unknown");
}

std::optional<TerminalType> fromString(const QString &text)
{
    for (TerminalType type : all) {
        if (toString(type) == text)
            return type;
    }
    return std::nullopt;
}

} // namespace TerminalTypes
