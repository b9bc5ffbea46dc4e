#include "RecordedShell.h"
#include "TestHome.h"
#include "sessions/SessionDiscovery.h"
#include "sessions/SessionManager.h"

#include <QtTest>

#include <QCoro/QCoroTask>

namespace {

QString recording(const char *name)
{
    return QStringLiteral(QUORLANE_TEST_DATA_DIR "/sessions/") + QLatin1String(name);
}

void touch(const QString &path, const QDateTime &time)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(time, QFileDevice::FileModificationTime));
}

} // namespace

Q_DECLARE_METATYPE(QList<ClaudeSession>)

class TestSessionDiscovery : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void recordedMachines_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("ownPid");
        QTest::addColumn<QList<ClaudeSession>>("expected");

        const QString warpTranscript = QStringLiteral("9d8c7b6a-0000-1111-2222-333344445555");
        QTest::newRow("macOS: Terminal, Warp, VS Code, iTerm2 found through the ancestors")
            << recording("bsd.txt") << qint64(4600)
            << QList<ClaudeSession>{
                   {4242, 4242, "/Users/a/app", QStringLiteral("0b7c1a2e-1111-2222-3333-444455556666"),
                    TerminalType::terminal, 812, QStringLiteral("/dev/ttys003"), std::nullopt, true},
                   {4300, 4300, "/Users/a/my.app", warpTranscript, TerminalType::warp, 901,
                    QStringLiteral("/dev/ttys005"), QStringLiteral("warp://session/abc"), true},
                   {4700, 4700, "/Users/a/code", std::nullopt, TerminalType::vscode, std::nullopt,
                    QStringLiteral("/dev/ttys007"), std::nullopt, true},
                   {4800, 4800, "/Users/a/walk", std::nullopt, TerminalType::iterm2, 4790,
                    QStringLiteral("/dev/ttys009"), std::nullopt, true},
               };
        QTest::newRow("Linux: tmux pane and VS Code, daemons without a terminal skipped")
            << recording("procps.txt") << qint64(1)
            << QList<ClaudeSession>{
                   {3002, 3002, "/home/u/proj", QStringLiteral("6f1d2c3b-aaaa-bbbb-cccc-0123456789ab"),
                    TerminalType::tmux, 3001, QStringLiteral("/dev/pts/3"), std::nullopt, true},
                   {4002, 4002, "/home/u/code/site", std::nullopt, TerminalType::vscode, 4001,
                    QStringLiteral("/dev/pts/5"), std::nullopt, true},
               };
    }
    void recordedMachines()
    {
        QFETCH(QString, file);
        QFETCH(qint64, ownPid);
        QFETCH(QList<ClaudeSession>, expected);
        TestHome home;
        // Two transcripts of the Warp session's folder (the dot stays in its name); the newer wins.
        const QString folder = home.path() + "/.claude/projects/-Users-a-my.app/";
        home.write(folder + "11111111-0000-1111-2222-333344445555.jsonl", "{}\n");
        home.write(folder + "9d8c7b6a-0000-1111-2222-333344445555.jsonl", "{}\n");
        home.write(folder + "ffffffff-0000-1111-2222-333344445555.txt", "newest but not a transcript\n");
        const QDateTime now = QDateTime::currentDateTime();
        touch(folder + "11111111-0000-1111-2222-333344445555.jsonl", now.addSecs(-60));
        touch(folder + "9d8c7b6a-0000-1111-2222-333344445555.jsonl", now.addSecs(-10));
        touch(folder + "ffffffff-0000-1111-2222-333344445555.txt", now);

        RecordedShell shell(file);
        const SessionDiscovery discovery(shell.runner(), home.path(), ownPid);
        const QList<ClaudeSession> sessions = discovery.discoverSessions();
        QCOMPARE(sessions.size(), expected.size());
        for (qsizetype i = 0; i < sessions.size(); ++i)
            QCOMPARE(sessions.at(i), expected.at(i));
        // The system's own process is never even looked at.
        QVERIFY(!shell.asked().contains("lsof -a -p 4600 -d cwd -Fn 2>/dev/null"));
    }

    void walkStopsAfterSixProcesses()
    {
        // A chain of ancestors 10 → 9 → … in which only the seventh names the terminal.
        QHash<QString, QString> outputs;
        for (qint64 pid = 10; pid > 2; --pid) {
            outputs.insert("ps -p " + QString::number(pid) + " -o ppid=", QString::number(pid - 1) + "\n");
            outputs.insert("ps eww -p " + QString::number(pid), "x SHELL=/bin/zsh\n");
        }
        outputs.insert("ps eww -p 4", "x TERM_PROGRAM=iTerm.app WARP_FOCUS_URL=warp://session/far\n");
        outputs.insert("ps eww -p 5", "x TERM_PROGRAM=iTerm.app WARP_FOCUS_URL=warp://session/near\n");
        const auto runner = [&outputs](const QString &command) { return outputs.value(command); };
        const SessionDiscovery discovery(runner, QString(), 0);
        QCOMPARE(discovery.detectTerminal(10), TerminalType::iterm2); // 10,9,8,7,6,5: the sixth
        QCOMPARE(discovery.findWarpFocusURL(10), QStringLiteral("warp://session/near"));
        QCOMPARE(discovery.detectTerminal(11), TerminalType::unknown); // 11 has no parent listed
        outputs.remove("ps eww -p 5");
        QCOMPARE(discovery.detectTerminal(10), TerminalType::unknown); // 4 would be the seventh
        QCOMPARE(discovery.findWarpFocusURL(10), std::nullopt);
    }

    void walkSkipsAFocusLinkThatIsNotWarps()
    {
        const QHash<QString, QString> outputs{
            {"ps eww -p 20", "claude WARP_FOCUS_URL=file:///etc\n"},
            {"ps -p 20 -o ppid=", "19\n"},
            {"ps eww -p 19", "zsh WARP_FOCUS_URL=warp://session/parent\n"},
        };
        const SessionDiscovery discovery([&outputs](const QString &c) { return outputs.value(c); }, QString(),
                                         0);
        QCOMPARE(discovery.findWarpFocusURL(20), QStringLiteral("warp://session/parent"));
    }

    void tmuxSocketOfRecordedPane()
    {
        RecordedShell shell(recording("procps.txt"));
        const SessionDiscovery discovery(shell.runner(), QString(), 0);
        QCOMPARE(discovery.findTmuxSocket(3002), QStringLiteral("/tmp/tmux-1000/work"));
        QCOMPARE(discovery.findTmuxSocket(4002), std::nullopt);
    }

    void transcriptLookup()
    {
        TestHome home;
        const SessionDiscovery discovery(runShell, home.path(), 0);
        QCOMPARE(discovery.latestTranscriptID("/nowhere"), std::nullopt);
        // A file where the folder should be gives nothing.
        home.write(".claude/projects/-p-file", "x");
        QCOMPARE(discovery.latestTranscriptID("/p/file"), std::nullopt);
        // A folder without transcripts gives nothing.
        home.write(".claude/projects/-p-empty/notes.md", "x");
        QCOMPARE(discovery.latestTranscriptID("/p/empty"), std::nullopt);
        // A folder named like a transcript is an entry too, and can win by its time.
        const QString folder = home.path() + "/.claude/projects/-p-app/";
        home.write(folder + "old.jsonl", "{}\n");
        QVERIFY(QDir().mkpath(folder + "dir.jsonl"));
        touch(folder + "old.jsonl", QDateTime::currentDateTime().addSecs(-100));
        QCOMPARE(discovery.latestTranscriptID("/p/app"), QStringLiteral("dir"));
    }

    void refreshPublishesOnTheMainThread()
    {
        TestHome home;
        RecordedShell shell(recording("procps.txt"));
        SessionManager manager(shell.runner());
        QSignalSpy changed(&manager, &SessionManager::sessionSnapshotsChanged);
        QVERIFY(manager.sessionSnapshots().isEmpty());
        QCoro::waitFor(manager.refreshSessions());
        QCOMPARE(changed.size(), 1);
        QCOMPARE(manager.sessionSnapshots().size(), 2);
        QCOMPARE(manager.sessionSnapshots().first().pid, 3002);
        QCOMPARE(manager.claudeProjectsRoot(), home.path() + "/.claude/projects");
    }

    void realToolsFindThisShell()
    {
        // The real ps and lsof of this machine: a child shell named like a session is found with
        // its directory, tty-less and therefore skipped, while its values are read correctly.
        TestHome home;
        QProcess child;
        child.setWorkingDirectory(home.path());
        child.start("/bin/bash", {"-c", "exec -a claude-probe sleep 30"});
        QVERIFY(child.waitForStarted());
        const SessionDiscovery discovery = SessionDiscovery::forCurrentUser();
        QTRY_COMPARE_WITH_TIMEOUT(discovery.readWorkingDirectory(child.processId()),
                                  QFileInfo(home.path()).canonicalFilePath(), 10000);
        QCOMPARE(discovery.findShellPid(child.processId()), std::nullopt); // parent is this test
        const auto tty = discovery.readTTY(child.processId());
        QVERIFY(!tty || tty->startsWith("/dev/"));
        child.kill();
        child.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestSessionDiscovery)
#include "tst_sessiondiscovery.moc"
