// The rest of the application hears of a switch only through its toggle event: one event per
// switch that was written, with the name, the project as the store knows it and the new state;
// none for a switch that failed.
#include "TestHome.h"
#include "cli/Cli.h"
#include "services/ToggleLogger.h"
#include "switching/ApplicationServices.h"

#include <QtTest>

class TestToggleEvents : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void eachSwitchPostsOneEventAndAFailedOneNone()
    {
        TestHome home;
        const QString project = home.path() + QStringLiteral("/app");
        QVERIFY(QDir().mkpath(project));
        home.write(home.claudeJson(), R"({"mcpServers":{"x":{"command":"c"}},"projects":{")" +
                                          project.toUtf8() + R"(":{"mcpServers":{"p":{"command":"p"}}}}})");
        const QString startedIn = QDir::currentPath();
        const auto restore = qScopeGuard([&] { QDir::setCurrent(startedIn); });
        QVERIFY(QDir::setCurrent(project));

        ApplicationServices services;
        const auto run = [&services](const QStringList &arguments) {
            QString output;
            QTextStream stream(&output);
            return runCli(arguments, CliIO{stream, stream}, services);
        };
        ToggleLogger logger;
        logger.start(services.toggleEvents());
        const QDateTime before = QDateTime::currentDateTime();
        // The project as the user types it: the current folder, then through "~" with a slash.
        QCOMPARE(run({QStringLiteral("disable"), QStringLiteral("x")}), 0);
        QCOMPARE(run({QStringLiteral("disable"), QStringLiteral("p"), QStringLiteral("--project"),
                      QStringLiteral(".")}),
                 0);
        QCOMPARE(run({QStringLiteral("enable"), QStringLiteral("p"), QStringLiteral("--project=~/app/")}), 0);
        const QDateTime after = QDateTime::currentDateTime();
        // Failures: an unknown server, an unknown project, a missing Claude Desktop file.
        QCOMPARE(run({QStringLiteral("disable"), QStringLiteral("nope")}), 1);
        QCOMPARE(
            run({QStringLiteral("disable"), QStringLiteral("p"), QStringLiteral("--project"), home.path()}),
            1);
        QCOMPARE(run({QStringLiteral("enable"), QStringLiteral("x"), QStringLiteral("--desktop")}), 1);

        const QList<ToggleAction> actions = logger.actions();
        const QList<std::tuple<QString, QString, bool>> expected{{QStringLiteral("x"), QString(), false},
                                                                 {QStringLiteral("p"), project, false},
                                                                 {QStringLiteral("p"), project, true}};
        QCOMPARE(actions.size(), expected.size());
        for (qsizetype i = 0; i < actions.size(); ++i) {
            QCOMPARE(std::tuple(actions[i].server, actions[i].projectPath, actions[i].isEnabled),
                     expected[i]);
            QVERIFY(actions[i].timestamp >= before && actions[i].timestamp <= after);
        }
    }
};

QTEST_GUILESS_MAIN(TestToggleEvents)
#include "tst_toggleevents.moc"
