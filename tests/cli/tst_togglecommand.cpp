#include "TestHome.h"
#include "cli/Cli.h"

#include <QProcess>
#include <QTest>

#include <nlohmann/json.hpp>

namespace {

const QByteArray kClaudeJson = R"({"mcpServers":{"x":{"command":"c","args":["a"]}},)"
                               R"("projects":{"/srv/app":{"mcpServers":{"p":{"command":"p"}}}}})";

struct InProcess
{
    int exitCode;
    QString out;
    QString err;
};

InProcess runInProcess(const QStringList &arguments)
{
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    const int code = runCli(arguments, CliIO{outStream, errStream});
    return {code, out, err};
}

} // namespace

class TestToggleCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("disable without a name") << QStringList{QStringLiteral("disable")};
        QTest::newRow("enable with two names")
            << QStringList{QStringLiteral("enable"), QStringLiteral("a"), QStringLiteral("b")};
        QTest::newRow("both sources")
            << QStringList{QStringLiteral("disable"), QStringLiteral("x"), QStringLiteral("--desktop"),
                           QStringLiteral("--project"), QStringLiteral("/srv/app")};
        QTest::newRow("project without a path")
            << QStringList{QStringLiteral("disable"), QStringLiteral("x"), QStringLiteral("--project")};
        QTest::newRow("unknown option")
            << QStringList{QStringLiteral("enable"), QStringLiteral("x"), QStringLiteral("--global")};
        QTest::newRow("watch with an argument")
            << QStringList{QStringLiteral("watch"), QStringLiteral("now")};
    }
    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        TestHome home;
        home.write(home.claudeJson(), kClaudeJson);
        const InProcess run = runInProcess(arguments);
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.err.contains(QStringLiteral("--help")));
        QCOMPARE(TestHome::read(home.claudeJson()), kClaudeJson);
    }

    // A failure prints the error's description alone on stderr and exits 1; nothing changes.
    void failuresPrintTheDescriptionAlone_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("stderr");
        QTest::newRow("unknown global server")
            << QStringList{QStringLiteral("disable"), QStringLiteral("nope")}
            << QStringLiteral("MCP server \u2018nope\u2019 was not found.\n");
        QTest::newRow("missing Claude Desktop file")
            << QStringList{QStringLiteral("disable"), QStringLiteral("x"), QStringLiteral("--desktop")}
            << QStringLiteral("The MCP configuration could not be read.\n");
        QTest::newRow("unknown project")
            << QStringList{QStringLiteral("disable"), QStringLiteral("p"), QStringLiteral("--project"),
                           QStringLiteral("/srv/none")}
            << QStringLiteral("MCP server \u2018p\u2019 was not found.\n");
    }
    void failuresPrintTheDescriptionAlone()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, stderr);
        TestHome home;
        home.write(home.claudeJson(), kClaudeJson);
        const TestHome::Run run = home.runQuorlane(arguments);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(QString::fromUtf8(run.err), stderr);
        QVERIFY(run.out.isEmpty());
        QCOMPARE(TestHome::read(home.claudeJson()), kClaudeJson);
    }

    void disableAndEnableEachSource_data()
    {
        QTest::addColumn<QStringList>("where");
        QTest::addColumn<QString>("name");
        QTest::newRow("global") << QStringList{} << QStringLiteral("x");
        QTest::newRow("desktop") << QStringList{QStringLiteral("--desktop")} << QStringLiteral("d");
        QTest::newRow("project") << QStringList{QStringLiteral("--project"), QStringLiteral("/srv/app")}
                                 << QStringLiteral("p");
    }
    void disableAndEnableEachSource()
    {
        QFETCH(QStringList, where);
        QFETCH(QString, name);
        TestHome home;
        home.write(home.claudeJson(), kClaudeJson);
        home.write(home.desktopConfig(), R"({"mcpServers":{"d":{"command":"d"}}})");
        const QStringList list{QStringLiteral("list"), QStringLiteral("--json")};
        const QString listedOn = runInProcess(list).out;

        const InProcess off = runInProcess(QStringList{QStringLiteral("disable"), name} + where);
        QCOMPARE(off.exitCode, 0);
        QVERIFY(off.err.isEmpty());
        const auto listed = nlohmann::json::parse(runInProcess(list).out.toStdString());
        bool foundOff = false;
        for (const auto *section : {&listed["global"], &listed["desktop"], &listed["projects"][0]["servers"]})
            for (const auto &server : *section)
                if (server["name"] == name.toStdString())
                    foundOff = server["enabled"] == false;
        QVERIFY(foundOff);

        const InProcess on = runInProcess(QStringList{QStringLiteral("enable"), name} + where);
        QVERIFY2(on.exitCode == 0, qPrintable(on.err));
        QCOMPARE(runInProcess(list).out, listedOn);
    }

    void watchPrintsOneLinePerSettledChange()
    {
        TestHome home;
        home.write(home.claudeJson(), kClaudeJson);
        QProcess watch;
        watch.setProcessEnvironment(home.environment());
        watch.start(QStringLiteral(QUORLANE_BINARY), {QStringLiteral("watch")});
        QVERIFY(watch.waitForStarted(30000));
        // The paths are announced on stderr once the watches are armed.
        QByteArray announced;
        QTRY_VERIFY_WITH_TIMEOUT((announced += watch.readAllStandardError()).contains("watching"), 30000);
        QTest::qWait(200);
        QByteArray out;
        home.write(home.claudeJson(), "{}");
        home.write(home.claudeJson(), "{ }");
        QTRY_VERIFY_WITH_TIMEOUT((out += watch.readAllStandardOutput()).count('\n') == 1, 20000);
        QVERIFY(out.endsWith(" configuration changed\n"));
        watch.terminate();
        QVERIFY(watch.waitForFinished(30000));
    }
};

QTEST_GUILESS_MAIN(TestToggleCommand)
#include "tst_togglecommand.moc"
