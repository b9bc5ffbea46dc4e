#include "TestHome.h"
#include "Victim.h"
#include "sessions/AppleScriptTemplates.h"
#include "sessions/RelaunchQueue.h"
#include "sessions/SessionManager.h"

#include <QtTest>

#include <QCoro/QCoroTask>

#include <memory>

namespace {

const QString resumeID = QStringLiteral("0b7c1a2e-1111-2222-3333-444455556666");

QString expectedScript(const QString &name)
{
    QFile file(QStringLiteral(QUORLANE_TEST_DATA_DIR "/sessions/scripts/") + name +
               QStringLiteral(".applescript"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing %s", qPrintable(name));
    return QString::fromUtf8(file.readAll());
}

ClaudeSession session(qint64 pid, TerminalType terminal,
                      std::optional<QString> tty = QStringLiteral("/dev/ttys003"))
{
    return ClaudeSession{
        pid, pid, QStringLiteral("/Users/a/app"), resumeID, terminal, std::nullopt, tty, std::nullopt, true};
}

} // namespace

// The scripts a relaunch sends reach a fake osascript on PATH that keeps each one in a numbered
// file; the sessions are child processes of this test.
class TestRelaunch : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;
    QString m_scripts;
    QByteArray m_savedPath;

    QStringList recordedScripts() const
    {
        QStringList scripts;
        const QDir dir(m_scripts);
        for (const QString &name : dir.entryList(QDir::Files, QDir::Name))
            scripts.append(QString::fromUtf8(TestHome::read(dir.filePath(name))));
        return scripts;
    }

    void relaunchAndWait(SessionManager &manager, const QList<ClaudeSession> &sessions, double delay = 0)
    {
        QVERIFY(manager.relaunch(sessions, delay).isEmpty());
        QCoro::waitFor(manager.relaunchQueue().waitUntilIdle());
    }

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_scripts = m_home->path() + "/scripts";
        QVERIFY(QDir().mkpath(m_scripts));
        m_home->write("bin/osascript", "#!/bin/bash\n"
                                       "n=$(ls \"$FAKE_OSASCRIPT_DIR\" | wc -l)\n"
                                       "cat > \"$FAKE_OSASCRIPT_DIR/$(printf '%03d' \"$n\").applescript\"\n"
                                       "if [ -n \"$FAKE_OSASCRIPT_FAIL\" ]; then echo \"execution error: "
                                       "boom (-1728)\" >&2; exit 1; fi\n"
                                       "");
        QFile::setPermissions(m_home->path() + "/bin/osascript",
                              QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        m_savedPath = qgetenv("PATH");
        qputenv("PATH", (m_home->path() + "/bin:").toUtf8() + m_savedPath);
        qputenv("FAKE_OSASCRIPT_DIR", m_scripts.toUtf8());
        qunsetenv("QUORLANE_OSASCRIPT");
    }
    void cleanup()
    {
        qputenv("PATH", m_savedPath);
        qunsetenv("FAKE_OSASCRIPT_FAIL");
        m_home.reset();
    }

    void templates_data()
    {
        QTest::addColumn<TerminalType>("terminal");
        QTest::addColumn<bool>("hasTTY");
        QTest::addColumn<QString>("expected");
        QTest::newRow("Terminal with tty") << TerminalType::terminal << true << "terminal-tty";
        QTest::newRow("Terminal without tty") << TerminalType::terminal << false << "terminal";
        QTest::newRow("iTerm2 with tty") << TerminalType::iterm2 << true << "iterm2-tty";
        QTest::newRow("iTerm2 without tty") << TerminalType::iterm2 << false << "iterm2";
        QTest::newRow("VS Code with tty") << TerminalType::vscode << true << "vscode";
        QTest::newRow("VS Code without tty") << TerminalType::vscode << false << "vscode";
        QTest::newRow("unknown terminal gets Terminal's") << TerminalType::unknown << true << "terminal-tty";
    }
    void templates()
    {
        QFETCH(TerminalType, terminal);
        QFETCH(bool, hasTTY);
        QFETCH(QString, expected);
        Victim victim(m_home->path(), "session");
        QVERIFY(victim.waitUntilReady());
        SessionManager manager(runShell, new RelaunchQueue(this));
        relaunchAndWait(manager, {session(victim.pid(), terminal,
                                          hasTTY ? std::optional<QString>("/dev/ttys003") : std::nullopt)});
        QCOMPARE(victim.waitForEnd(), QStringLiteral("TERM"));
        const QStringList scripts = recordedScripts();
        QCOMPARE(scripts.size(), 1);
        QCOMPARE(scripts.first(), expectedScript(expected));
    }

    void warpTemplates()
    {
        ClaudeSession focused = session(1, TerminalType::warp);
        focused.warpFocusURL = "warp://session/abc";
        QCOMPARE(AppleScriptTemplates::warpFocusScript("warp://session/abc", "cd \\\"/Users/a/app\\\"",
                                                       "claude --resume " + resumeID),
                 expectedScript("warp-focus"));
        QCOMPARE(
            AppleScriptTemplates::warpNewTabScript("cd \\\"/Users/a/app\\\"", "claude --resume " + resumeID),
            expectedScript("warp-newtab"));
    }

    void commandLines_data()
    {
        QTest::addColumn<QString>("directory");
        QTest::addColumn<std::optional<QString>>("resume");
        QTest::addColumn<QString>("line"); // as it appears inside the script's string literal
        QTest::newRow("no resume id")
            << "/Users/a/app" << std::optional<QString>() << "cd \\\"/Users/a/app\\\" && claude";
        QTest::newRow("spaces and a single quote keep double quotes")
            << "/Users/a/it's my app" << std::optional<QString>(resumeID)
            << "cd \\\"/Users/a/it's my app\\\" && claude --resume " + resumeID;
        QTest::newRow("double quote: single-quoted, then escaped")
            << "/Users/a/say \"hi\"" << std::optional<QString>(resumeID)
            << "cd '/Users/a/say \\\"hi\\\"' && claude --resume " + resumeID;
        QTest::newRow("backslash: single-quoted, then doubled")
            << "/Users/a/back\\slash" << std::optional<QString>(resumeID)
            << "cd '/Users/a/back\\\\slash' && claude --resume " + resumeID;
        QTest::newRow("dollar and backtick cannot expand")
            << "/Users/a/$(rm -rf ~)`id`" << std::optional<QString>(resumeID)
            << "cd '/Users/a/$(rm -rf ~)`id`' && claude --resume " + resumeID;
        QTest::newRow("bang and single quote together")
            << "/Users/a/wow!it's" << std::optional<QString>(resumeID)
            << "cd '/Users/a/wow!it'\\\\''s' && claude --resume " + resumeID;
        QTest::newRow("resume id with shell syntax is dropped")
            << "/Users/a/app" << std::optional<QString>("a;b-c-d-e-$(x)")
            << "cd \\\"/Users/a/app\\\" && claude";
        QTest::newRow("resume id with non-ASCII letters is dropped")
            << "/Users/a/app" << std::optional<QString>(QString::fromUtf8("é-b-c-d-e"))
            << "cd \\\"/Users/a/app\\\" && claude";
    }
    void commandLines()
    {
        QFETCH(QString, directory);
        QFETCH(std::optional<QString>, resume);
        QFETCH(QString, line);
        ClaudeSession terminalSession = session(1, TerminalType::terminal, "/dev/ttys003");
        terminalSession.workingDirectory = directory;
        terminalSession.resumeID = resume;
        const QString script = AppleScriptTemplates::scriptForSession(terminalSession);
        QVERIFY2(script.contains("do script \"" + line + "\" in t"), qPrintable(script));
        QVERIFY(script.contains("if not didRun then do script \"" + line + "\"\n"));
    }

    void ttyAndLinkAreNotEscaped()
    {
        const QString script = AppleScriptTemplates::terminalScript("/dev/tty\"x\\", "L");
        QVERIFY(script.contains("if tty of t is \"/dev/tty\"x\\\" then"));
        const QString warp = AppleScriptTemplates::warpFocusScript("warp://a\"b", "C", "D");
        QVERIFY(warp.contains("quoted form of \"warp://a\"b\""));
        // A placeholder inside an inserted text stays as it is.
        QVERIFY(AppleScriptTemplates::terminalScript("%LINE%", "x").contains("is \"%LINE%\" then"));
    }

    void warpBatchOrderAndSignals()
    {
        // Three sessions with focus links whose shells are listed out of order, and two without.
        std::vector<std::unique_ptr<Victim>> victims;
        const auto start = [&](const QString &name) {
            victims.push_back(std::make_unique<Victim>(m_home->path(), name));
            if (!victims.back()->waitUntilReady())
                qFatal("victim did not start");
            return victims.back().get();
        };
        QList<Victim *> shells{start("shell-a"), start("shell-b"), start("shell-c")};
        std::sort(shells.begin(), shells.end(), [](Victim *a, Victim *b) { return a->pid() < b->pid(); });
        Victim *focusLow = start("focus-low");
        Victim *focusMid = start("focus-mid");
        Victim *focusHigh = start("focus-high");
        Victim *tabShell = start("tab-shell");
        Victim *tabSession = start("tab-session");
        Victim *tabNoShell = start("tab-no-shell");

        const auto warp = [&](Victim *process, std::optional<qint64> shell, std::optional<QString> link,
                              const QString &dir) {
            ClaudeSession s = session(process->pid(), TerminalType::warp);
            s.shellPid = shell;
            s.warpFocusURL = link;
            s.workingDirectory = dir;
            return s;
        };
        const QList<ClaudeSession> sessions{
            warp(tabSession, tabShell->pid(), std::nullopt, "/tab/with-shell"),
            warp(focusHigh, shells[2]->pid(), "warp://session/high", "/high"),
            warp(focusLow, shells[0]->pid(), "warp://session/low", "/low"),
            warp(tabNoShell, std::nullopt, std::nullopt, "/tab/no-shell"),
            warp(focusMid, shells[1]->pid(), "warp://session/mid", "/mid"),
        };
        SessionManager manager(runShell, new RelaunchQueue(this));
        relaunchAndWait(manager, sessions);

        // One work item serves the whole batch.
        QCOMPARE(manager.relaunchWorkItems().size(), 5);
        QCOMPARE(manager.relaunchWorkItems().value(focusLow->pid()),
                 manager.relaunchWorkItems().value(tabNoShell->pid()));

        const QStringList scripts = recordedScripts();
        QCOMPARE(scripts.size(), 5);
        QVERIFY(scripts[0].contains("warp://session/low"));
        QVERIFY(scripts[1].contains("warp://session/mid"));
        QVERIFY(scripts[2].contains("warp://session/high"));
        const bool shellFirst = tabShell->pid() < tabNoShell->pid();
        QVERIFY(scripts[shellFirst ? 3 : 4].contains("keystroke \"cd \\\"/tab/with-shell\\\"\" & return"));
        QVERIFY(scripts[shellFirst ? 4 : 3].contains("keystroke \"cd \\\"/tab/no-shell\\\"\" & return"));
        QVERIFY(scripts[3].contains("keystroke \"t\" using {command down}"));

        // Focus-link sessions are asked to end and keep their shell; the others lose their shell.
        QCOMPARE(focusLow->waitForEnd(), QStringLiteral("TERM"));
        QCOMPARE(focusMid->waitForEnd(), QStringLiteral("TERM"));
        QCOMPARE(focusHigh->waitForEnd(), QStringLiteral("TERM"));
        QCOMPARE(tabShell->waitForEnd(), QStringLiteral("KILL"));
        QCOMPARE(tabNoShell->waitForEnd(), QStringLiteral("KILL"));
        for (Victim *shell : shells)
            QVERIFY(!shell->endsWithin(200));
        QVERIFY(!tabSession->endsWithin(200));
    }

    void newerRequestCancelsOlder()
    {
        Victim victim(m_home->path(), "session");
        QVERIFY(victim.waitUntilReady());
        SessionManager manager(runShell, new RelaunchQueue(this));
        ClaudeSession first = session(victim.pid(), TerminalType::terminal);
        first.workingDirectory = "/first";
        ClaudeSession second = first;
        second.workingDirectory = "/second";

        QVERIFY(manager.relaunch({first}, 30).isEmpty());
        const RelaunchWorkItemPtr older = manager.relaunchWorkItems().value(victim.pid());
        QVERIFY(older);
        relaunchAndWait(manager, {second}, 0.2);
        QVERIFY(older->isCancelled());
        QVERIFY(!older->hasStarted());
        QVERIFY(manager.relaunchWorkItems().value(victim.pid()) != older);
        QCOMPARE(victim.waitForEnd(), QStringLiteral("TERM"));
        const QStringList scripts = recordedScripts();
        QCOMPARE(scripts.size(), 1);
        QVERIFY(scripts.first().contains("cd \\\"/second\\\""));
    }

    void cancellingOneWarpSessionCancelsItsBatch()
    {
        Victim a(m_home->path(), "a");
        Victim b(m_home->path(), "b");
        QVERIFY(a.waitUntilReady() && b.waitUntilReady());
        ClaudeSession sa = session(a.pid(), TerminalType::warp);
        sa.warpFocusURL = "warp://session/a";
        ClaudeSession sb = session(b.pid(), TerminalType::warp);
        sb.warpFocusURL = "warp://session/b";
        SessionManager manager(runShell, new RelaunchQueue(this));
        QVERIFY(manager.relaunch({sa, sb}, 30).isEmpty());
        relaunchAndWait(manager, {sa}, 0);
        QCOMPARE(a.waitForEnd(), QStringLiteral("TERM"));
        QVERIFY(!b.endsWithin(300));
        const QStringList scripts = recordedScripts();
        QCOMPARE(scripts.size(), 1);
        QVERIFY(scripts.first().contains("warp://session/a"));
    }

    void projectSelection()
    {
        Victim app(m_home->path(), "app");
        Victim sub(m_home->path(), "sub");
        Victim app2(m_home->path(), "app2");
        QVERIFY(app.waitUntilReady() && sub.waitUntilReady() && app2.waitUntilReady());
        // A machine on which these three children are Claude Code sessions in Terminal.
        QHash<QString, QString> outputs;
        QString listing = "  PID  PPID COMM ARGS\n";
        const QList<std::pair<Victim *, QString>> sessions{
            {&app, "/p/app"}, {&sub, "/p/app/sub"}, {&app2, "/p/app2"}};
        for (const auto &[victim, dir] : sessions) {
            const QString pid = QString::number(victim->pid());
            listing += pid + " 1 claude claude\n";
            outputs.insert("lsof -a -p " + pid + " -d cwd -Fn 2>/dev/null",
                           "p" + pid + "\nfcwd\nn" + dir + "\n");
            outputs.insert("ps eww -p " + pid, "claude TERM_PROGRAM=Apple_Terminal\n");
            outputs.insert("ps -p " + pid + " -o tty=", "ttys001\n");
        }
        outputs.insert("ps -axo pid,ppid,comm,args", listing);
        SessionManager manager([outputs](const QString &c) { return outputs.value(c); },
                               new RelaunchQueue(this));
        QCoro::waitFor(manager.refreshSessions());
        QCOMPARE(manager.sessionSnapshots().size(), 3);
        QCOMPARE(manager.sessionsInProject("/p/app"), manager.sessionsInProject("/p/app/"));

        QVERIFY(manager.relaunchSessions("/p/app/", 0).isEmpty());
        QCoro::waitFor(manager.relaunchQueue().waitUntilIdle());
        QCOMPARE(app.waitForEnd(), QStringLiteral("TERM"));
        QCOMPARE(sub.waitForEnd(), QStringLiteral("TERM"));
        QVERIFY(!app2.endsWithin(300));
        const QStringList scripts = recordedScripts();
        QCOMPARE(scripts.size(), 2);
        QVERIFY(scripts[0].contains("cd \\\"/p/app\\\""));
        QVERIFY(scripts[1].contains("cd \\\"/p/app/sub\\\""));
    }

    void failureIsLogged()
    {
        qputenv("FAKE_OSASCRIPT_FAIL", "1");
        Victim victim(m_home->path(), "session");
        QVERIFY(victim.waitUntilReady());
        SessionManager manager(runShell, new RelaunchQueue(this));
        QTest::ignoreMessage(QtCriticalMsg, "AppleScript failed: execution error: boom (-1728)");
        relaunchAndWait(manager, {session(victim.pid(), TerminalType::iterm2)});
        QCOMPARE(recordedScripts().size(), 1);
        QCOMPARE(victim.waitForEnd(), QStringLiteral("TERM"));
    }

    void unscriptableSessionsAreLeftAlone()
    {
        // No osascript anywhere: nothing could restart these, so nothing may end them.
        qputenv("PATH", "/usr/bin:/bin");
        Victim victim(m_home->path(), "session");
        QVERIFY(victim.waitUntilReady());
        ClaudeSession warp = session(victim.pid(), TerminalType::warp);
        warp.warpFocusURL = "warp://session/a";
        SessionManager manager(runShell, new RelaunchQueue(this));
        const QList<ClaudeSession> sessions{session(victim.pid(), TerminalType::terminal), warp};
        QCOMPARE(manager.relaunch(sessions, 0), sessions);
        QVERIFY(manager.relaunchWorkItems().isEmpty());
        QVERIFY(manager.relaunchQueue().isIdle());
        QVERIFY(!victim.endsWithin(300));
    }
};

QTEST_GUILESS_MAIN(TestRelaunch)
#include "tst_relaunch.moc"
