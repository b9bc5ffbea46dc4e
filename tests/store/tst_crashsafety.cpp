#include "TestHome.h"
#include "store/ClaudeJsonLock.h"
#include "store/ConfigFormats.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include <nlohmann/json.hpp>

#include <csignal>
#include <unistd.h>

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

    // A fault while switching off, in a real process: the switch fails with the system's reason
    // naming the file, and both files keep their exact bytes (an unreadable stash included).
    void faultsLeaveBothFilesAsTheyWere_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("reason");
        QTest::newRow("file-size limit (SIGXFSZ)") << "ulimit"
                                                   << "File too large";
        QTest::newRow("home folder read-only") << "readonly"
                                               << "Permission denied";
        QTest::newRow("stash unreadable (mode 000)") << "stash000"
                                                     << "Permission denied";
    }
    void faultsLeaveBothFilesAsTheyWere()
    {
        QFETCH(QString, fault);
        QFETCH(QString, reason);
        TestHome home;
        // Compact, a few kilobytes: the pretty-printed rewrite is well over the size limit, the
        // stash well under it (whether the shell counts blocks of 512 or 1024 bytes).
        nlohmann::json file = {{"numStartups", 1}, {"mcpServers", {{"x", {{"command", "x"}}}}}};
        for (int i = 0; i < 120; ++i)
            file["projects"]["/p/" + std::to_string(i)] = {{"allowedTools", {"a", "b"}}, {"n", i}};
        const QByteArray live = QByteArray::fromStdString(file.dump());
        home.write(home.claudeJson(), live);
        const QByteArray stash = R"({"global":{"old":{"command":"o"}},"desktop":{}})";
        if (fault == "stash000")
            home.write(home.stash(), stash);
        QVERIFY(QDir().mkpath(QFileInfo(home.stash()).absolutePath())); // writable, in any case
        // Permissions stop no one running as root: the process runs as an ordinary user then.
        const bool root = ::geteuid() == 0;
        if (root)
            QCOMPARE(QProcess::execute("chown", {"-R", "65534:65534", home.path()}), 0);
        if (fault == "readonly")
            QVERIFY(QFile::setPermissions(home.path(), QFile::ReadOwner | QFile::ExeOwner));
        if (fault == "stash000")
            QVERIFY(QFile::setPermissions(home.stash(), {}));
        const QString limit = fault == "ulimit" ? QStringLiteral("ulimit -f 4; ") : QString();
        QStringList command{"/bin/sh", "-c", limit + "exec \"$0\" disable x", QUORLANE_BINARY};
        if (root)
            command = QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"} + command;
        const TestHome::Run run = home.run(command.first(), command.mid(1));
        QFile::setPermissions(home.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::setPermissions(home.stash(), QFile::ReadOwner | QFile::WriteOwner);

        QCOMPARE(run.exitCode, 1);
        const QString err = QString::fromUtf8(run.err);
        QVERIFY2(err.contains(reason) && err.contains(fault == "stash000" ? home.stash() : home.claudeJson()),
                 qPrintable(err));
        QCOMPARE(TestHome::read(home.claudeJson()), live);
        QCOMPARE(QFileInfo::exists(home.stash()), fault == "stash000");
        if (fault == "stash000")
            QCOMPARE(TestHome::read(home.stash()), stash);
        QVERIFY(!QFileInfo::exists(ClaudeJsonLock::lockPathFor(home.claudeJson())));
        QVERIFY(QDir(home.path()).entryList({"*quorlane-*"}, QDir::Hidden | QDir::Files).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "tst_crashsafety.moc"
