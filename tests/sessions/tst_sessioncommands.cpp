#include "TestHome.h"
#include "cli/Cli.h"
#include "cli/SessionOutput.h"

#include <QtTest>

namespace {

struct Captured
{
    int exitCode = -1;
    QString out;
    QString err;
};

Captured runInProcess(const QStringList &arguments)
{
    Captured captured;
    QTextStream out(&captured.out);
    QTextStream err(&captured.err);
    captured.exitCode = runCli(arguments, CliIO{out, err});
    out.flush();
    err.flush();
    return captured;
}

} // namespace

// The `sessions` and `relaunch` commands in-process. They only ever act on an empty temporary
// folder or in a dry run: real sessions may be running on this machine.
class TestSessionCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown option") << QStringList{"sessions", "--bogus"} << "Unknown option 'bogus'";
        QTest::newRow("stray argument") << QStringList{"sessions", "now"} << "unexpected argument 'now'";
        QTest::newRow("relaunch stray argument")
            << QStringList{"relaunch", "--dry-run", "/p"} << "unexpected argument '/p'";
        QTest::newRow("project without a value") << QStringList{"relaunch", "--project"} << "Missing value";
        QTest::newRow("empty project")
            << QStringList{"relaunch", "--project", "", "--dry-run"} << "--project needs a folder";
    }
    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        TestHome home;
        const Captured run = runInProcess(arguments);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QVERIFY(run.err.contains("Try 'quorlane " + arguments.first() + " --help'"));
        QVERIFY(run.out.isEmpty());
    }

    void helpListsTheCommands()
    {
        const QString help = cliHelpText();
        QVERIFY(help.contains("  sessions"));
        QVERIFY(help.contains("  relaunch"));
        const Captured run = runInProcess({"relaunch", "--help"});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.out.contains("--dry-run"));
        QVERIFY(run.out.contains("--project <PATH>"));
    }

    void sessionsJsonShape()
    {
        TestHome home;
        const Captured run = runInProcess({"sessions", "--json"});
        QCOMPARE(run.exitCode, 0);
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(run.out.toUtf8(), &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        QVERIFY(document.isArray());
    }

    void sessionJsonFields()
    {
        const ClaudeSession full{7,
                                 7,
                                 "/p/a \"b\"",
                                 QStringLiteral("id-1"),
                                 TerminalType::warp,
                                 6,
                                 QStringLiteral("/dev/ttys001"),
                                 QStringLiteral("warp://session/x"),
                                 true};
        QCOMPARE(
            QString::fromStdString(SessionOutput::sessionJson(full).dump()),
            QStringLiteral("{\"pid\":7,\"workingDirectory\":\"/p/a "
                           "\\\"b\\\"\",\"resumeID\":\"id-1\",\"terminal\":\"Warp\","
                           "\"shellPid\":6,\"tty\":\"/dev/ttys001\",\"warpFocusURL\":\"warp://session/x\"}"));
        const ClaudeSession bare{
            8, 8, "/p", std::nullopt, TerminalType::vscode, std::nullopt, std::nullopt, std::nullopt, true};
        QCOMPARE(
            QString::fromStdString(SessionOutput::sessionJson(bare).dump()),
            QStringLiteral("{\"pid\":8,\"workingDirectory\":\"/p\",\"resumeID\":null,\"terminal\":\"Code\","
                           "\"shellPid\":null,\"tty\":null,\"warpFocusURL\":null}"));
    }

    void relaunchOfAnEmptyFolder_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("expected");
        QTest::newRow("dry run") << QStringList{"--dry-run"} << "No sessions to relaunch.\n";
        QTest::newRow("dry run, JSON") << QStringList{"--dry-run", "--json"} << "[]\n";
        QTest::newRow("relaunch") << QStringList{} << "No sessions to relaunch.\n";
        QTest::newRow("relaunch, JSON") << QStringList{"--json"} << "{\"relaunched\":[],\"leftAlone\":[]}\n";
    }
    void relaunchOfAnEmptyFolder()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, expected);
        TestHome home;
        QVERIFY(QDir().mkpath(home.path() + "/nobody-works-here"));
        const Captured run =
            runInProcess(QStringList{"relaunch", "--project", home.path() + "/nobody-works-here/"} + options);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, expected);
    }
};

QTEST_GUILESS_MAIN(TestSessionCommands)
#include "tst_sessioncommands.moc"
