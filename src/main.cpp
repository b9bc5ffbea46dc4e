#include "cli/Cli.h"
#include "cli/PanelCommand.h"
#include "services/ApplicationIdentity.h"
#include "services/TerminationSignals.h"
#include "tray/TrayApplication.h"

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
    const std::optional<TrayArguments> tray = trayArguments(arguments);
    if (tray && trayHasDisplay())
        return runTrayApplication(argc, argv, *tray);

    QCoreApplication app(argc, argv);
    nameApplication();
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (tray) {
        // Without a display the panel cannot appear; the next best thing is what it would show.
        err << "quorlane: there is no display to show the panel on (DISPLAY and WAYLAND_DISPLAY are "
               "not set).\nThis is what it would show; 'quorlane --help' lists the commands.\n\n";
        err.flush();
        runCli({QStringLiteral("list")}, CliIO{out, err});
        return 1;
    }

    // A signal ends the command only once a switch it is making has finished or rolled back.
    TerminationSignals::install(&TerminationSignals::exitFor);

    return runCli(app.arguments().mid(1), CliIO{out, err});
}
