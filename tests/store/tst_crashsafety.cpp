#include "TestHome.h"
#include "store/ClaudeJsonLock.h"
#include "store/ConfigFormats.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include <nlohmann/json.hpp>

#include <csignal>

// Switching a server off and on while the process is killed at random moments: after every kill
// ~/.claude.json parses and the definition is in the live file or the stash, never in neither.
class TestCrashSafety : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void killedAtRandomMoments()
    {
        // A few megabytes in Claude Code's layout, so a kill can land in the middle of a write.
        nlohmann::json root = {{"numStartups", 42}, {"userID", std::string(64, 'a')}};
        root["mcpServers"]["x"] = {
            {"command", "node"}, {"args", {"x.js", "--port", "1"}}, {"env", {{"K", "V"}}}};
        root["mcpServers"]["y"] = {{"type", "http"}, {"url", "http://127.0.0.1:1/mcp"}};
        for (int i = 0; i < 1500; ++i) {
            auto &project = root["projects"]["/home/dev/src/project-" + std::to_string(i)];
            project = {{"hasTrustDialogAccepted", i % 2 == 0}, {"lastCost", i * 0.25}};
            for (int t = 0; t < 40; ++t)
                project["allowedTools"].push_back("Bash(npm run task-" + std::to_string(t) + ":*)");
        }
        TestHome home;
        home.write(home.claudeJson(), QByteArray::fromStdString(root.dump(2)));

        // How long one uninterrupted switch takes here, to spread the kills over it.
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(home.runQuorlane({"disable", "x"}).exitCode, 0);
        const int span = int(timer.elapsed() * 12 / 10) + 1;

        int killed = 0;
        constexpr int kRounds = 80;
        for (int round = 0; round < kRounds; ++round) {
            QProcess quorlane;
            quorlane.setProcessEnvironment(home.environment());
            quorlane.start(QUORLANE_BINARY, {round % 2 == 0 ? "enable" : "disable", "x"});
            QVERIFY(quorlane.waitForStarted(30000));
            if (!quorlane.waitForFinished(1 + int(QRandomGenerator::global()->bounded(span)))) {
                ::kill(pid_t(quorlane.processId()), SIGKILL);
                ++killed;
            }
            if (quorlane.state() != QProcess::NotRunning)
                QVERIFY(quorlane.waitForFinished(30000));

            const QByteArray live = TestHome::read(home.claudeJson());
            const auto after = nlohmann::json::parse(live.cbegin(), live.cend(), nullptr, false);
            QVERIFY2(after.is_object(), qPrintable(QString("round %1").arg(round)));
            bool isStashed = false;
            if (QFile::exists(home.stash())) {
                const auto stash = DisabledGlobalConfig::decode(TestHome::read(home.stash()));
                QVERIFY2(stash, qPrintable(QString("stash unreadable after round %1").arg(round)));
                isStashed = stash->global.contains("x");
            }
            QVERIFY2(after["mcpServers"].contains("x") || isStashed,
                     qPrintable(QString("definition lost in round %1").arg(round)));
            QVERIFY(after["mcpServers"].contains("y"));
            QCOMPARE(after["projects"].size(), size_t(1500));
            // A killed run cannot remove its lock folder; the next one would wait for it to go stale.
            QDir().rmdir(ClaudeJsonLock::lockPathFor(home.claudeJson()));
        }
        qInfo("%d of %d runs were killed", killed, kRounds);
        QVERIFY(killed > 0);
    }
};

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "tst_crashsafety.moc"
