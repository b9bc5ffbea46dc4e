#include "sessions/TmuxBridge.h"

#include "platform/ShortCommand.h"

#include <QStandardPaths>

namespace TmuxBridge {

namespace {

QStringList serverArguments(const std::optional<QString> &socket)
{
    if (!socket)
        return {};
    return {QStringLiteral("-S"), *socket};
}

// The standard output of one tmux call; empty when it fails.
QString runTmux(const std::optional<QString> &socket, const QStringList &arguments)
{
    const QString tmux = program();
    if (tmux.isEmpty())
        return {};
    const ShortCommand::Result result = ShortCommand::run(tmux, serverArguments(socket) + arguments);
    if (!result.succeeded())
        return {};
    return QString::fromUtf8(result.output);
}

} // namespace

QString program()
{
    // A GUI application on macOS does not inherit the login shell's PATH.
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("tmux"));
    if (!onPath.isEmpty())
        return onPath;
    return QStandardPaths::findExecutable(
        QStringLiteral("tmux"), {QStringLiteral("/opt/homebrew/bin"), QStringLiteral("/usr/local/bin")});
}

Target findTarget(const ClaudeSession &session, const std::optional<QString> &socket)
{
    Target target{socket, std::nullopt, session.workingDirectory};
    if (!session.tty)
        return target;
    const QString panes = runTmux(socket, {QStringLiteral("list-panes"), QStringLiteral("-a"),
                                           QStringLiteral("-F"), QStringLiteral("#{pane_tty} #{pane_id}")});
    for (const QString &line : panes.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype space = line.lastIndexOf(QLatin1Char(' '));
        if (space > 0 && line.left(space) == *session.tty) {
            target.paneID = line.mid(space + 1);
            break;
        }
    }
    return target;
}

bool serverAnswers(const std::optional<QString> &socket)
{
    // A running server always has a session (it exits with its last one).
    return !runTmux(socket,
                    {QStringLiteral("list-sessions"), QStringLiteral("-F"), QStringLiteral("#{session_id}")})
                .trimmed()
                .isEmpty();
}

void typeLine(const Target &target, const QString &line)
{
    QString pane = target.paneID.value_or(QString());
    if (!target.paneID) {
        pane = runTmux(target.socket,
                       {QStringLiteral("new-window"), QStringLiteral("-P"), QStringLiteral("-F"),
                        QStringLiteral("#{pane_id}"), QStringLiteral("-c"), target.workingDirectory})
                   .trimmed();
        if (pane.isEmpty())
            return;
    }
    // -l: the line is typed as it is, never read as key names.
    runTmux(target.socket, {QStringLiteral("send-keys"), QStringLiteral("-t"), pane, QStringLiteral("-l"),
                            QStringLiteral("--"), line});
    runTmux(target.socket,
            {QStringLiteral("send-keys"), QStringLiteral("-t"), pane, QStringLiteral("Enter")});
}

QString describe(const Target &target)
{
    QString text = QStringLiteral("tmux");
    if (target.socket)
        text += QStringLiteral(" -S ") + *target.socket;
    if (target.paneID)
        text += QStringLiteral(" pane ") + *target.paneID;
    else
        text += QStringLiteral(" new window in ") + target.workingDirectory;
    return text;
}

} // namespace TmuxBridge
