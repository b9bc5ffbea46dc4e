#include "TestHome.h"
#include "ToggleTestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <memory>

using namespace ToggleTestSupport;

// Quorlane beside the real Claude Code command-line tool, in a temporary home.
class TestClaudeClient : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("claude")).isEmpty())
            QSKIP("the claude command-line tool is not installed");
        QProcess npm;
        npm.start(QStringLiteral("npm"), {QStringLiteral("root"), QStringLiteral("-g")});
        QVERIFY(npm.waitForFinished(60000));
        m_memoryServer = QString::fromUtf8(npm.readAllStandardOutput()).trimmed() +
                         QStringLiteral("/@modelcontextprotocol/server-memory/dist/index.js");
        QVERIFY2(QFileInfo::exists(m_memoryServer), qPrintable(m_memoryServer));
    }

    // A server added by `claude mcp add` disappears from the client's view when switched off
    // and comes back with the same command, arguments and environment; every other member of
    // ~/.claude.json keeps its value through both switches.
    void clientSeesTheSwitch_data()
    {
        QTest::addColumn<QString>("scope");
        QTest::newRow("user scope (global server)") << QStringLiteral("user");
        QTest::newRow("local scope (project server)") << QStringLiteral("local");
    }
    void clientSeesTheSwitch()
    {
        QFETCH(QString, scope);
        TestHome home;
        const QString project = home.path() + QStringLiteral("/app");
        QDir().mkpath(project);
        const bool local = scope == QLatin1String("local");
        const QString folder = local ? project : home.path();
        const QString name = QStringLiteral("mem");
        const QStringList where = local ? QStringList{QStringLiteral("--project"), project} : QStringList{};

        claude(home, folder,
               {QStringLiteral("mcp"), QStringLiteral("add"), QStringLiteral("-s"), scope, name,
                QStringLiteral("-e"), QStringLiteral("MEMORY_FILE_PATH=%1/memory.json").arg(home.path()),
                QStringLiteral("--"), QStringLiteral("node"), m_memoryServer,
                QStringLiteral("--unused-flag")});
        const QStringList definition =
            definitionLines(claude(home, folder, {QStringLiteral("mcp"), QStringLiteral("get"), name}).out);
        QVERIFY2(definition.size() >= 3, qPrintable(definition.join('|')));

        const nlohmann::json before = parse(TestHome::read(home.claudeJson()));
        const nlohmann::json::json_pointer servers(local ? "/projects/" + escaped(project) + "/mcpServers"
                                                         : "/mcpServers");
        const nlohmann::json server = before.at(servers).at(name.toStdString());
        const TestHome::Run off = home.runQuorlane(QStringList{QStringLiteral("disable"), name} + where);
        QVERIFY2(off.exitCode == 0, off.err.constData());
        nlohmann::json expected = before;
        expected.at(servers).erase(name.toStdString());
        QCOMPARE_JSON(parse(TestHome::read(home.claudeJson())), expected);

        const QByteArray listed = claude(home, folder, {QStringLiteral("mcp"), QStringLiteral("list")}).out;
        QVERIFY2(!listed.contains(name.toUtf8() + ':'), listed.constData());
        QVERIFY(claude(home, folder, {QStringLiteral("mcp"), QStringLiteral("get"), name}, false).exitCode !=
                0);

        const nlohmann::json whileOff = parse(TestHome::read(home.claudeJson()));
        const TestHome::Run on = home.runQuorlane(QStringList{QStringLiteral("enable"), name} + where);
        QVERIFY2(on.exitCode == 0, on.err.constData());
        expected = whileOff;
        expected.at(servers)[name.toStdString()] = server;
        QCOMPARE_JSON(parse(TestHome::read(home.claudeJson())), expected);

        QVERIFY(claude(home, folder, {QStringLiteral("mcp"), QStringLiteral("list")})
                    .out.contains(name.toUtf8() + ':'));
        QCOMPARE(
            definitionLines(claude(home, folder, {QStringLiteral("mcp"), QStringLiteral("get"), name}).out),
            definition);
    }

    // Both programs rewrite ~/.claude.json at once; the shared lock folder keeps either from
    // writing over the other's change.
    void concurrentWithClaudeMcpAdd()
    {
        TestHome home;
        claude(home, home.path(),
               {QStringLiteral("mcp"), QStringLiteral("add"), QStringLiteral("-s"), QStringLiteral("user"),
                QStringLiteral("x"), QStringLiteral("--"), QStringLiteral("/nonexistent/bin/x")});
        MCPConfigService service;

        QProcess adds;
        adds.setProcessEnvironment(home.environment());
        adds.setWorkingDirectory(home.path());
        adds.setProcessChannelMode(QProcess::MergedChannels);
        adds.start(QStringLiteral("/bin/bash"),
                   {QStringLiteral("-c"),
                    QStringLiteral("for i in $(seq 1 30); do claude mcp add -s user s$i -- "
                                   "/nonexistent/bin/s$i a >/dev/null || echo failed $i; done")});
        QVERIFY(adds.waitForStarted(30000));

        QElapsedTimer elapsed;
        elapsed.start();
        constexpr qint64 kBound = 150000;
        int toggles = 0;
        QStringList failures;
        while (toggles < 100 && elapsed.elapsed() < kBound) {
            // The client writes even while Quorlane holds the lock folder (it tries it once), so
            // a switch can be undone by a write that began before it; the next switch then goes
            // the direction the file asks for.
            const bool isLive = parse(TestHome::read(home.claudeJson()))["mcpServers"].contains("x");
            const Result result = setServer(service, QStringLiteral("x"), MCPSource::global, !isLive);
            if (!result.ok)
                failures << QStringLiteral("%1: %2").arg(toggles).arg(result.description);
            ++toggles;
            // Spread the switches over the run of the other program.
            if (adds.state() == QProcess::Running)
                QTest::qWait(100);
        }
        if (!adds.waitForFinished(int(qMax<qint64>(1000, kBound - elapsed.elapsed())))) {
            adds.kill();
            adds.waitForFinished();
            QFAIL("claude mcp add did not finish in time");
        }
        QCOMPARE(toggles, 100);
        if (!failures.isEmpty())
            qInfo("%lld of 100 switches were undone by the client's own writes:\n%s",
                  qsizetype(failures.size()), qPrintable(failures.join('\n')));
        QVERIFY2(adds.readAll().isEmpty(), "a claude mcp add failed");

        QCoro::waitFor(service.rechecksFinished());
        const nlohmann::json live = parse(TestHome::read(home.claudeJson()));
        const nlohmann::json stash = parse(TestHome::read(home.stash()));
        for (int i = 1; i <= 30; ++i)
            QVERIFY2(live["mcpServers"].contains("s" + std::to_string(i)),
                     qPrintable(QStringLiteral("s%1 lost").arg(i)));
        QVERIFY2(live["mcpServers"].contains("x") != stash["global"].contains("x"),
                 qPrintable(QStringLiteral("live %1, stashed %2")
                                .arg(live["mcpServers"].contains("x"))
                                .arg(stash["global"].contains("x"))));
        QVERIFY(!QFileInfo::exists(home.claudeJson() + QStringLiteral(".lock")));
    }

private:
    TestHome::Run claude(const TestHome &home, const QString &folder, const QStringList &arguments,
                         bool mustSucceed = true)
    {
        TestHome::Run run = home.run(QStringLiteral("claude"), arguments, folder, 120000);
        if (mustSucceed && run.exitCode != 0)
            qWarning("claude %s failed: %s %s", qPrintable(arguments.join(' ')), run.out.constData(),
                     run.err.constData());
        return run;
    }

    // The definition as `claude mcp get` prints it, without the connection status.
    static QStringList definitionLines(const QByteArray &output)
    {
        QStringList lines;
        bool inEnvironment = false;
        for (const QString &line : QString::fromUtf8(output).split('\n')) {
            const QString trimmed = line.trimmed();
            if (trimmed.startsWith(QLatin1String("Command:")) || trimmed.startsWith(QLatin1String("Args:")) ||
                trimmed.startsWith(QLatin1String("Type:")))
                lines << trimmed;
            if (trimmed.startsWith(QLatin1String("Environment:"))) {
                inEnvironment = true;
                continue;
            }
            if (inEnvironment && trimmed.contains('='))
                lines << trimmed;
            else
                inEnvironment = false;
        }
        return lines;
    }

    static std::string escaped(const QString &key)
    {
        std::string text = key.toStdString();
        std::string out;
        for (char c : text)
            out += c == '~' ? std::string("~0") : c == '/' ? std::string("~1") : std::string(1, c);
        return out;
    }

    QString m_memoryServer;
};

QTEST_GUILESS_MAIN(TestClaudeClient)
#include "tst_claudeclient.moc"
