#include "TestHome.h"
#include "ToggleTestSupport.h"

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
            QCOMPARE(
                home.run("claude", {"mcp", "add", "-s", "user", "x", "--", "/nonexistent/bin/x"}, {}, 120000)
                    .exitCode,
                0);
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
};

QTEST_GUILESS_MAIN(TestClaudeClient)
#include "tst_claudeclient.moc"
