#include "TestHome.h"
#include "ToggleTestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using namespace ToggleTestSupport;
using nlohmann::json;

// Quorlane beside the real Claude Code command-line tool, in a temporary home.
class TestClaudeClient : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable("claude").isEmpty())
            QSKIP("the claude command-line tool is not installed");
        QProcess npm;
        npm.start("npm", {"root", "-g"});
        QVERIFY(npm.waitForFinished(60000));
        m_memoryServer = QString::fromUtf8(npm.readAllStandardOutput()).trimmed() +
                         "/@modelcontextprotocol/server-memory/dist/index.js";
        QVERIFY2(QFileInfo::exists(m_memoryServer), qPrintable(m_memoryServer));
    }

    // Switched off, a server added by `claude mcp add` leaves the client's view; switched on, it
    // comes back with the same command, arguments and environment. Every other member of
    // ~/.claude.json keeps its value through both switches.
    void clientSeesTheSwitch_data()
    {
        QTest::addColumn<QString>("scope");
        QTest::newRow("user scope (global server)") << "user";
        QTest::newRow("local scope (project server)") << "local";
    }
    void clientSeesTheSwitch()
    {
        QFETCH(QString, scope);
        TestHome home;
        const bool local = scope == "local";
        const QString folder = local ? home.path() + "/app" : home.path();
        QDir().mkpath(folder);
        const QStringList where = local ? QStringList{"--project", folder} : QStringList{};
        claude(home, folder,
               QString("mcp add -s %1 mem -e MEMORY_FILE_PATH=%2/memory.json -- node %3 --unused-flag")
                   .arg(scope, home.path(), m_memoryServer));
        const QStringList definition = definitionLines(claude(home, folder, "mcp get mem").out);
        QVERIFY2(definition.size() >= 3, qPrintable(definition.join('|')));

        const json before = parse(TestHome::read(home.claudeJson()));
        const json::json_pointer servers(local ? "/projects/" + escaped(folder) + "/mcpServers"
                                               : "/mcpServers");
        const json server = before.at(servers).at("mem");
        const TestHome::Run off = home.runQuorlane(QStringList{"disable", "mem"} + where);
        QVERIFY2(off.exitCode == 0, off.err.constData());
        json expected = before;
        expected.at(servers).erase("mem");
        QCOMPARE_JSON(parse(TestHome::read(home.claudeJson())), expected);
        const QByteArray listed = claude(home, folder, "mcp list").out;
        QVERIFY2(!listed.contains("mem:"), listed.constData());
        QVERIFY(claude(home, folder, "mcp get mem", false).exitCode != 0);

        expected = parse(TestHome::read(home.claudeJson()));
        const TestHome::Run on = home.runQuorlane(QStringList{"enable", "mem"} + where);
        QVERIFY2(on.exitCode == 0, on.err.constData());
        expected.at(servers)["mem"] = server;
        QCOMPARE_JSON(parse(TestHome::read(home.claudeJson())), expected);
        QVERIFY(claude(home, folder, "mcp list").out.contains("mem:"));
        QCOMPARE(definitionLines(claude(home, folder, "mcp get mem").out), definition);
    }

    // Both programs rewrite ~/.claude.json at once; the shared lock folder keeps either from
    // writing over the other's change.
    void concurrentWithClaudeMcpAdd()
    {
        TestHome home;
        claude(home, home.path(), "mcp add -s user x -- /nonexistent/bin/x");
        MCPConfigService service;
        QProcess adds;
        adds.setProcessEnvironment(home.environment());
        adds.setWorkingDirectory(home.path());
        adds.setProcessChannelMode(QProcess::MergedChannels);
        adds.start("/bin/bash", {"-c", "for i in $(seq 1 30); do claude mcp add -s user s$i -- "
                                       "/nonexistent/bin/s$i a >/dev/null || echo failed $i; done"});
        QVERIFY(adds.waitForStarted(30000));

        QElapsedTimer elapsed;
        elapsed.start();
        constexpr qint64 kBound = 150000;
        int toggles = 0;
        for (; toggles < 100 && elapsed.elapsed() < kBound; ++toggles) {
            // The client writes even while Quorlane holds the lock folder, so a switch can be
            // undone by a write that began before it; the next one goes the way the file asks.
            const bool isLive = parse(TestHome::read(home.claudeJson()))["mcpServers"].contains("x");
            const Result result = setServer(service, "x", MCPSource::global, !isLive);
            if (!result.ok)
                qInfo("switch %d: %s", toggles, qPrintable(result.description));
            if (adds.state() == QProcess::Running)
                QTest::qWait(100); // spread the switches over the other program's run
        }
        if (!adds.waitForFinished(int(qMax<qint64>(1000, kBound - elapsed.elapsed())))) {
            adds.kill();
            adds.waitForFinished();
            QFAIL("claude mcp add did not finish in time");
        }
        QCOMPARE(toggles, 100);
        QVERIFY2(adds.readAll().isEmpty(), "a claude mcp add failed");

        QCoro::waitFor(service.rechecksFinished());
        const json live = parse(TestHome::read(home.claudeJson()));
        const json stash = parse(TestHome::read(home.stash()));
        for (int i = 1; i <= 30; ++i)
            QVERIFY2(live["mcpServers"].contains("s" + std::to_string(i)),
                     qPrintable(QString("s%1 lost").arg(i)));
        QVERIFY2(live["mcpServers"].contains("x") != stash["global"].contains("x"),
                 qPrintable(QString("live %1, stashed %2")
                                .arg(live["mcpServers"].contains("x"))
                                .arg(stash["global"].contains("x"))));
        QVERIFY(!QFileInfo::exists(home.claudeJson() + ".lock"));
    }

private:
    static TestHome::Run claude(const TestHome &home, const QString &folder, const QString &arguments,
                                bool mustSucceed = true)
    {
        TestHome::Run run = home.run("claude", arguments.split(' '), folder, 120000);
        if (mustSucceed && run.exitCode != 0)
            qWarning("claude %s failed: %s %s", qPrintable(arguments), run.out.constData(),
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
            if (trimmed.startsWith("Command:") || trimmed.startsWith("Args:") ||
                trimmed.startsWith("Type:") || (inEnvironment && trimmed.contains('=')))
                lines << trimmed;
            inEnvironment = trimmed.startsWith("Environment:") || (inEnvironment && trimmed.contains('='));
        }
        return lines;
    }

    static std::string escaped(const QString &key)
    {
        std::string out;
        for (char c : key.toStdString())
            out += c == '~' ? std::string("~0") : c == '/' ? std::string("~1") : std::string(1, c);
        return out;
    }

    QString m_memoryServer;
};

QTEST_GUILESS_MAIN(TestClaudeClient)
#include "tst_claudeclient.moc"
