#include "Cli.h"
#include "PanelCommand.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char *argv[])
{
    // The panel renders with Qt Quick and needs a GUI application object of its own.
    if (argc > 1 && std::strcmp(argv[1], "panel") == 0)
        return runPanelCommand(argc, argv);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Quorlane"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("quorlane.dev"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORLANE_VERSION));

    QTextStream out(stdout);
    QTextStream err(stderr);
    return runCli(app.arguments().mid(1), CliIO{out, err});
}
