#include "Cli.h"
#include "PanelCommand.h"
#include "app/TerminationSignals.h"
#include "app/TrayApplication.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char *argv[])
{
    // The panel renders with Qt Quick and needs a GUI application object of its own.
    if (argc > 1 && std::strcmp(argv[1], "panel") == 0)
        return runPanelCommand(argc, argv);

    // Decided before any application object exists: the tray needs a GUI one, the commands
    // must run without a display.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (const std::optional<TrayArguments> tray = trayArguments(arguments))
        return runTrayApplication(argc, argv, *tray);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Quorlane"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("quorlane.dev"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORLANE_VERSION));

    // A signal ends the command only once a switch it is making has finished or rolled back.
    TerminationSignals::install(&TerminationSignals::exitFor);

    QTextStream out(stdout);
    QTextStream err(stderr);
    return runCli(app.arguments().mid(1), CliIO{out, err});
}
