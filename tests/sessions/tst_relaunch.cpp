#include "TestHome.h"
#include "sessions/AppleScriptTemplates.h"
#include "sessions/RelaunchQueue.h"
#include "sessions/SessionManager.h"
#include "sessions/TerminalRelaunch.h"

#include <QtTest>

#include <QCoro/QCoroTask>

#include <algorithm>
#include <array>
#include <memory>

namespace {

// A child process standing in for a session or its shell: exit code 7 when asked to terminate,
// after printing when (in nanoseconds since 1970), a crash when killed. Tests only ever signal
// these.
struct Victim
{
    QProcess process;
    qint64 pid = 0; // kept: QProcess forgets it once the process has ended
    Victim()
    {
        // `wait` returns at once for a trapped signal, so the time printed is when it came.
        process.start("/bin/bash", {"-c", "trap 'date +%s%N; exit 7' TERM; echo ready; "
                                          "while :; do sleep 0.1 & wait $!; done"});
        if (!process.waitForReadyRead(10000) || process.readLine() != "ready\n")
            qFatal("a stand-in session did not start");
        pid = process.processId();
    }
    ~Victim()
    {
        process.kill();
        process.waitForFinished();
    }
    // Whether it ends within `ms`: used to show that nothing signalled it.
    bool endsWithin(int ms) { return process.state() == QProcess::NotRunning || process.waitForFinished(ms); }
    QString waitForEnd()
    {
        if (!endsWithin(20000))
            return "still running";
        return process.exitStatus() == QProcess::CrashExit ? "KILL"
               : process.exitCode() == 7                   ? "TERM"
                                                           : "exited";
    }
    // When it received SIGTERM, in seconds since 1970.
    double terminatedAt()
    {
        return waitForEnd() == "TERM" ? process.readAllStandardOutput().trimmed().toDouble() / 1e9 : 0;
    }
};

const QString resumeID = "0b7c1a2e-1111-2222-3333-444455556666";

QString expectedScript(const QString &name)
{
    return QString::fromUtf8(
        TestHome::read(QUORLANE_TEST_DATA_DIR "/sessions/scripts/" + name + ".applescript"));
}

ClaudeSession session(qint64 pid, TerminalType terminal, std::optional<QString> tty = "/dev/ttys003",
                      QString directory = "/Users/a/app", std::optional<QString> link = {},
                      std::optional<qint64> shell = {})
{
    return ClaudeSession{pid, pid, directory, resumeID, terminal, shell, tty, link, true};
}

} // namespace

// Relaunches of sessions that are children of this test. The scripts reach a fake osascript,
// named by QUORLANE_OSASCRIPT on every system, that keeps each one in a numbered file.
class TestRelaunch : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;

    QStringList scripts() const
    {
        QStringList scripts;
        const QDir dir(m_home->path() + "/scripts");
        for (const QString &name : dir.entryList(QDir::Files, QDir::Name))
            scripts.append(QString::fromUtf8(TestHome::read(dir.filePath(name))));
        return scripts;
    }
    // When each script started, in seconds since 1970.
    QList<double> scriptTimes() const
    {
        QList<double> times;
        for (const QByteArray &line : TestHome::read(m_home->path() + "/times").split('\n'))
            if (!line.isEmpty())
                times.append(line.toDouble() / 1e9);
        return times;
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
        QVERIFY(QDir().mkpath(m_home->path() + "/scripts"));
        const QString fake = m_home->write(
            "bin/osascript", "#!/bin/bash\n"
                             "date +%s%N >> \"$HOME/times\"\n"
                             "cat > \"$HOME/scripts/$(ls \"$HOME/scripts\" | wc -l).applescript\"\n"
                             "[ -z \"$FAKE_OSASCRIPT_FAIL\" ] || { echo 'execution error: boom "
                             "(-1728)' >&2; exit 1; }\n");
        QFile::setPermissions(fake, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        qputenv("QUORLANE_OSASCRIPT", fake.toUtf8());
    }
    void cleanup()
    {
        qunsetenv("QUORLANE_OSASCRIPT");
        qunsetenv("FAKE_OSASCRIPT_FAIL");
        m_home.reset();
    }

    void templates_data()
    {
        QTest::addColumn<TerminalType>("terminal");
        QTest::addColumn<bool>("hasTTY");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("ending");
        const auto row = [](const char *name, TerminalType terminal, bool hasTTY, const char *file,
                            const char *end) {
            QTest::newRow(name) << terminal << hasTTY << QString(file) << QString(end);
        };
        row("Terminal with tty", TerminalType::terminal, true, "terminal-tty", "TERM");
        row("Terminal without tty", TerminalType::terminal, false, "terminal", "TERM");
        row("iTerm2 with tty", TerminalType::iterm2, true, "iterm2-tty", "TERM");
        row("iTerm2 without tty", TerminalType::iterm2, false, "iterm2", "TERM");
        row("VS Code with tty", TerminalType::vscode, true, "vscode", "TERM");
        row("Warp with focus link: same tab", TerminalType::warp, true, "warp-focus", "TERM");
        row("Warp without link: killed, new tab", TerminalType::warp, false, "warp-newtab", "KILL");
    }
    void templates()
    {
        QFETCH(TerminalType, terminal);
        QFETCH(bool, hasTTY);
        QFETCH(QString, expected);
        QFETCH(QString, ending);
        Victim victim;
        // For Warp the row's flag stands for the focus link instead.
        const bool warp = terminal == TerminalType::warp;
        const auto tty = hasTTY || warp ? std::optional<QString>("/dev/ttys003") : std::nullopt;
        const auto link = hasTTY && warp ? std::optional<QString>("warp://session/abc") : std::nullopt;
        SessionManager manager(ProcessSource::forThisSystem(), new RelaunchQueue(this));
        relaunchAndWait(manager, {session(victim.pid, terminal, tty, "/Users/a/app", link)});
        QCOMPARE(victim.waitForEnd(), ending);
        QCOMPARE(scripts(), QStringList{expectedScript(expected)});
    }

    void commandLines_data()
    {
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QString>("resume");
        QTest::addColumn<QString>("line"); // as it appears inside the script's string literal
        const auto row = [](const char *name, const QString &directory, const QString &resume,
                            const QString &line) { QTest::newRow(name) << directory << resume << line; };
        const QString tail = " && claude --resume " + resumeID;
        row("spaces and a single quote keep double quotes", "/a/it's my app", resumeID,
            "cd \\\"/a/it's my app\\\"" + tail);
        row("double quote: single-quoted, then escaped", "/a/say \"hi\"", resumeID,
            "cd '/a/say \\\"hi\\\"'" + tail);
        row("backslash: single-quoted, then doubled", "/a/back\\slash", resumeID,
            "cd '/a/back\\\\slash'" + tail);
        row("dollar and backtick cannot expand", "/a/$(rm -rf ~)`id`", resumeID,
            "cd '/a/$(rm -rf ~)`id`'" + tail);
        row("a placeholder in the folder stays", "/a/%TTY%", resumeID, "cd \\\"/a/%TTY%\\\"" + tail);
        row("resume id that claude would take as an option", "/a", "--dangerously-skip-permissions",
            "cd \\\"/a\\\" && claude");
    }
    void commandLines()
    {
        QFETCH(QString, directory);
        QFETCH(QString, resume);
        QFETCH(QString, line);
        ClaudeSession terminal = session(1, TerminalType::terminal, "/dev/ttys003", directory);
        terminal.resumeID = resume;
        const QString script = AppleScriptTemplates::scriptForSession(terminal);
        QVERIFY2(script.contains("if tty of t is \"/dev/ttys003\" then\n"), qPrintable(script));
        QVERIFY2(script.contains("do script \"" + line + "\" in t"), qPrintable(script));
        QVERIFY(script.contains("if not didRun then do script \"" + line + "\"\n"));
    }

    // The tty and the focus link sit inside string literals too: a quote or a backslash in them
    // must not end the literal.
    void insertedValuesAreEscaped()
    {
        // Plain literals: moc does not read raw strings inside macros.
        const ClaudeSession terminal = session(1, TerminalType::iterm2, "/dev/tty\"x\\");
        const QString script = AppleScriptTemplates::scriptForSession(terminal);
        QVERIFY2(script.contains("if tty of s is \"/dev/tty\\\"x\\\\\" then"), qPrintable(script));
        const ClaudeSession warp = session(1, TerminalType::warp, {}, "/a", "warp://s/\"x\\");
        const QStringList scripts = TerminalRelaunch::warpBatchScripts({warp});
        QVERIFY2(scripts.first().contains("quoted form of \"warp://s/\\\"x\\\\\""),
                 qPrintable(scripts.first()));
    }

    void warpBatchOrderAndSignals()
    {
        // By process id: 0 the shell of 7, 1-3 the shells of the focus-link sessions 4-6, 8 a
        // session without a shell. The lowest shell belongs to a session without a link.
        std::array<Victim, 9> victims;
        std::array<Victim *, 9> v;
        std::transform(victims.begin(), victims.end(), v.begin(), [](Victim &victim) { return &victim; });
        std::sort(v.begin(), v.end(), [](Victim *a, Victim *b) { return a->pid < b->pid; });
        const auto warp = [&](int i, std::optional<qint64> shell, std::optional<QString> link, QString dir) {
            return session(v[i]->pid, TerminalType::warp, "/dev/ttys003", dir, link, shell);
        };
        SessionManager manager(ProcessSource::forThisSystem(), new RelaunchQueue(this));
        relaunchAndWait(manager,
                        {warp(7, v[0]->pid, {}, "/tab/with-shell"),
                         warp(6, v[3]->pid, "warp://session/high", "/high"),
                         warp(4, v[1]->pid, "warp://session/low", "/low"), warp(8, {}, {}, "/tab/no-shell"),
                         warp(5, v[2]->pid, "warp://session/mid", "/mid")});
        // One work item serves the whole batch.
        QCOMPARE(manager.relaunchWorkItems().size(), 5);
        QCOMPARE(manager.relaunchWorkItems().value(v[4]->pid), manager.relaunchWorkItems().value(v[8]->pid));
        const QStringList order{"warp://session/low", "warp://session/mid", "warp://session/high",
                                "\\\"/tab/with-shell\\\"", "\\\"/tab/no-shell\\\""};
        const QStringList sent = scripts();
        QCOMPARE(sent.size(), 5);
        for (qsizetype i = 0; i < sent.size(); ++i)
            QVERIFY2(sent[i].contains(order[i]), qPrintable(sent[i]));
        // Focus-link sessions end and keep their shell; the others lose their shell.
        const QStringList endings{"KILL", "", "", "", "TERM", "TERM", "TERM", "", "KILL"};
        for (int i = 0; i < 9; ++i) {
            if (!endings[i].isEmpty())
                QCOMPARE(v[i]->waitForEnd(), endings[i]);
        }
        for (int i : {1, 2, 3, 7})
            QVERIFY(!v[i]->endsWithin(200));
    }

    void newerRequestCancelsOlder_data()
    {
        QTest::addColumn<TerminalType>("terminal");
        QTest::newRow("Terminal session") << TerminalType::terminal;
        // One item serves a Warp batch: cancelling it through one session cancels the others.
        QTest::newRow("Warp batch: the session left out of the newer request is not touched")
            << TerminalType::warp;
    }
    void newerRequestCancelsOlder()
    {
        QFETCH(TerminalType, terminal);
        Victim victim, other;
        SessionManager manager(ProcessSource::forThisSystem(), new RelaunchQueue(this));
        const auto in = [&](Victim &v, const QString &folder) {
            return session(v.pid, terminal, {}, folder, "warp://session/" + QString::number(v.pid));
        };
        QList<ClaudeSession> first{in(victim, "/first")};
        if (terminal == TerminalType::warp)
            first.append(in(other, "/other"));
        QVERIFY(manager.relaunch(first, 30).isEmpty());
        const RelaunchWorkItemPtr older = manager.relaunchWorkItems().value(victim.pid);
        QVERIFY(older);
        relaunchAndWait(manager, {in(victim, "/second")}, 0.2);
        QVERIFY(older->isCancelled() && !older->hasStarted());
        QCOMPARE(victim.waitForEnd(), "TERM");
        QCOMPARE(scripts().size(), 1);
        QVERIFY(scripts().first().contains("cd \\\"/second\\\""));
        QVERIFY(!other.endsWithin(300));
    }

    void relaunchPauses()
    {
        // A burst of toggles collapses into the request's delay; a process gets time to end before
        // its terminal is scripted; Warp gets time to settle after its signals and between scripts.
        Victim terminal, first, second;
        SessionManager manager(ProcessSource::forThisSystem(), new RelaunchQueue(this));
        const double requested = QDateTime::currentMSecsSinceEpoch() / 1e3;
        relaunchAndWait(manager,
                        {session(terminal.pid, TerminalType::terminal),
                         session(first.pid, TerminalType::warp, {}, "/1", "warp://session/1", 1),
                         session(second.pid, TerminalType::warp, {}, "/2", "warp://session/2", 2)},
                        0.4);
        const QList<double> times = scriptTimes();
        QCOMPARE(times.size(), 3);
        const double warpSignalled = std::max(first.terminatedAt(), second.terminatedAt());
        QVERIFY2(terminal.terminatedAt() - requested >= 0.35, "the request's delay was not kept");
        QVERIFY2(times[0] - terminal.terminatedAt() >= 0.45, "no pause between the signal and the script");
        QVERIFY2(times[1] - warpSignalled >= 0.75, "no pause after the Warp signals");
        QVERIFY2(times[2] - times[1] >= 0.55, "no pause between Warp scripts");
    }

    void failureIsLogged()
    {
        qputenv("FAKE_OSASCRIPT_FAIL", "1");
        Victim victim;
        SessionManager manager(ProcessSource::forThisSystem(), new RelaunchQueue(this));
#ifndef Q_OS_MACOS // there the line goes to the unified log, which Qt does not see
        QTest::ignoreMessage(QtCriticalMsg, "AppleScript failed: execution error: boom (-1728)");
#endif
        relaunchAndWait(manager, {session(victim.pid, TerminalType::iterm2)});
        QCOMPARE(scripts().size(), 1);
    }

    // What cannot be scripted keeps its session running. A terminal without a script of ours
    // (Ghostty, kitty, WezTerm…): a new Terminal window would restart the session where the user
    // never had it. No osascript: found when asked, or when the work runs (where macOS would
    // refuse the permission), before any signal.
    void unscriptableSessionsAreLeftAlone_data()
    {
        QTest::addColumn<TerminalType>("terminal");
        QTest::addColumn<QString>("osascript"); // "kept", "gone" before the request, "goes" after
        QTest::newRow("a terminal without a script") << TerminalType::unknown << "kept";
#ifndef Q_OS_MACOS // macOS always has osascript, and without the recorder would ask the user
        QTest::newRow("no osascript: Terminal") << TerminalType::terminal << "gone";
        QTest::newRow("no osascript: Warp") << TerminalType::warp << "gone";
        QTest::newRow("osascript gone when the work runs: Terminal") << TerminalType::terminal << "goes";
        QTest::newRow("osascript gone when the work runs: Warp batch") << TerminalType::warp << "goes";
#endif
    }
    void unscriptableSessionsAreLeftAlone()
    {
        QFETCH(TerminalType, terminal);
        QFETCH(QString, osascript);
        const auto restore = qScopeGuard([path = qgetenv("PATH")] { qputenv("PATH", path); });
        const auto removeOsascript = [] {
            qunsetenv("QUORLANE_OSASCRIPT");
            qputenv("PATH", "/usr/bin:/bin");
        };
        if (osascript == "gone")
            removeOsascript();
        Victim victim;
        SessionManager manager(ProcessSource::forThisSystem(), new RelaunchQueue(this));
        const QList<ClaudeSession> sessions{session(victim.pid, terminal, "/dev/ttys003", "/a", "warp://a")};
        const QList<ClaudeSession> leftAlone = manager.relaunch(sessions, 0.3);
        if (osascript == "goes") {
            QVERIFY(leftAlone.isEmpty());
            removeOsascript();
            QTest::ignoreMessage(QtCriticalMsg,
                                 QRegularExpression("^Relaunch skipped: .* cannot be driven now"));
            QCoro::waitFor(manager.relaunchQueue().waitUntilIdle());
        } else {
            QCOMPARE(leftAlone, sessions);
            QVERIFY(manager.relaunchWorkItems().isEmpty());
        }
        QVERIFY(!victim.endsWithin(300));
        QVERIFY(scripts().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestRelaunch)
#include "tst_relaunch.moc"
