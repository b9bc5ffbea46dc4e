#include "Cli.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Quorlane"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("quorlane.dev"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORLANE_VERSION));

    QTextStream out(stdout);
    QTextStream err(stderr);
    return runCli(app.arguments().mid(1), CliIO{out, err});
}
