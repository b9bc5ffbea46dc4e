#include "cli/CliParser.h"
#include "cli/Commands.h"
#include "cli/TerminalText.h"
#include "store/LoadResult.h"
#include "store/MCPFileWatcher.h"

#include <QCoreApplication>
#include <QDateTime>

#include <QCoro/QCoroSignal>

QCoro::Task<int> runWatchCommand(QStringList arguments, CliIO io, ApplicationServices &)
{
    CliParser parser(
        QStringLiteral("watch"),
        QStringLiteral("Watches ~/.claude.json, the Claude Desktop file and the managed file the way\n"
                       "the Quorlane app does, and prints one line each time a burst of changes has\n"
                       "settled for half a second. Runs until interrupted."));
    if (const auto exit = parser.parseOptionsOnly(arguments, io))
        co_return *exit;

    const ConfigPaths paths = ConfigPaths::forCurrentUser();
    const QStringList watched{paths.claudeJsonPath, paths.desktopConfigPath, paths.managedConfigPath};
    MCPFileWatcher watcher(watched, 0.5, [&io] {
        io.out << QDateTime::currentDateTime().toString(Qt::ISODateWithMs) << " configuration changed\n";
        io.out.flush();
    });
    // The paths go to stderr, so stdout carries only the change lines.
    for (const QString &path : watched)
        io.err << "watching " << TerminalText::printable(path) << '\n';
    io.err.flush();
    auto quitting = qCoro(QCoreApplication::instance(), &QCoreApplication::aboutToQuit);
    co_await quitting;
    co_return ExitCode::ok;
}
