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

    // Another program rewrites the live file by rename while servers are switched. Neither
    // writer's change is lost, and the server switched back and forth ends up in exactly one file.
    void concurrentWriters_data()
    {
        QTest::addColumn<MCPSource>("source");
        QTest::addColumn<bool>("realClaude");
        QTest::newRow("claude mcp add") << MCPSource::global << true;
        QTest::newRow("Claude-like writer ignoring the lock, every 20 ms") << MCPSource::global << false;
        QTest::newRow("Claude-like writer on the Claude Desktop file") << MCPSource::desktop << false;
    }
    void concurrentWriters()
    {
        QFETCH(MCPSource, source);
        QFETCH(bool, realClaude);
        TestHome home;
        const QString live = source == MCPSource::desktop ? home.desktopConfig() : home.claudeJson();
        if (realClaude)
            claude(home, home.path(), "mcp add -s user x -- /nonexistent/bin/x");
        else
            home.write(live, R"({"numStartups":1,"mcpServers":{"x":{"command":"x","env":{"T":"s"}}}})");
        MCPConfigService service;
        QProcess writer;
        writer.setProcessEnvironment(home.environment());
        writer.setWorkingDirectory(home.path());
        if (realClaude)
            writer.start("/bin/bash",
                         {"-c", "for i in $(seq 1 10); do claude mcp add -s user s$i -- "
                                "/nonexistent/bin/s$i a >/dev/null || echo failed $i >&2; done"});
        else
            writer.start(RACING_WRITER, {live, "20", "5000"});
        QVERIFY(writer.waitForStarted(30000));

        QElapsedTimer elapsed;
        elapsed.start();
        constexpr qint64 kBound = 150000;
        int toggles = 0;
        while (writer.state() == QProcess::Running && elapsed.elapsed() < kBound) {
            // A write that began before a switch can undo it; the next one goes the way the file asks.
            const bool isLive = parse(TestHome::read(live))["mcpServers"].contains("x");
            const Result result = setServer(service, "x", source, !isLive);
            if (!result.ok)
                qInfo("switch %d: %s", toggles, qPrintable(result.description));
            ++toggles;
            QTest::qWait(realClaude ? 100 : 10); // spread the switches over the other program's run
        }
        if (writer.state() != QProcess::NotRunning &&
            !writer.waitForFinished(int(qMax<qint64>(1000, kBound - elapsed.elapsed())))) {
            writer.kill();
            writer.waitForFinished();
            QFAIL("the other writer did not finish in time");
        }
        QVERIFY2(writer.readAllStandardError().isEmpty(), "the other writer failed");
        QVERIFY(toggles >= 10);

        QCoro::waitFor(service.rechecksFinished());
        const json after = parse(TestHome::read(live));
        const json stash = parse(TestHome::read(home.stash()));
        int written = 10;
        int lost = 0;
        if (realClaude) {
            for (int i = 1; i <= written; ++i)
                lost += after["mcpServers"].contains("s" + std::to_string(i)) ? 0 : 1;
        } else {
            written = writer.readAllStandardOutput().trimmed().toInt();
            lost = written - int(after.value("racer", json::object()).size());
        }
        qInfo("%d switches, %d of %d writes of the other program lost", toggles, lost, written);
        QCOMPARE(lost, 0);
        const char *bucket = source == MCPSource::desktop ? "desktop" : "global";
        QVERIFY2(after["mcpServers"].contains("x") != stash[bucket].contains("x"),
                 qPrintable(QString("live %1, stashed %2")
                                .arg(after["mcpServers"].contains("x"))
                                .arg(stash[bucket].contains("x"))));
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
