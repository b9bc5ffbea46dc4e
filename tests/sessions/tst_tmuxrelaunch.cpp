#include "TestHome.h"
#include "sessions/RelaunchQueue.h"
#include "sessions/SessionManager.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <QCoro/QCoroTask>

#include <memory>

#include <csignal>

namespace {

// A stand-in for Claude Code: notes its folder and arguments, then starts what a real session
// starts below itself (a command with a shell snapshot in its arguments, and another claude),
// each of which notes a SIGTERM in $HOME/signalled.
const QByteArray standIn = R"(#!/bin/bash
printf '%s|%s\n' "$PWD" "$*" >> "$HOME/record"
noteTerm='import os,signal,time
signal.signal(signal.SIGTERM, lambda *a: (open(os.environ["HOME"] + "/signalled", "a").write("child\n"), os._exit(0)))
time.sleep(300)'
/usr/bin/python3 -c "$noteTerm" "$HOME/.claude/shell-snapshots/snapshot-bash-1.sh" &
"$HOME/nested/claude" -c "$noteTerm" &
trap 'kill -KILL $(jobs -p) 2>/dev/null; exit 0' TERM HUP
sleep 300 & wait
)";

const QString transcriptID = "6f1d2c3b-aaaa-bbbb-cccc-0123456789ab";

bool isRunning(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    const QByteArray line = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
    return !line.isEmpty() && line.mid(line.lastIndexOf(')') + 2, 1) != "Z";
}

} // namespace

// The whole road on Linux, in a tmux server of this test's own: `quorlane sessions` finds the
// stand-ins and nothing else (beside them run an editor, a pager and a tail that mention claude),
// and `quorlane relaunch` starts one again in its own pane in a folder with a non-ASCII letter and
// a backslash, without a locale, and leaves alone the one whose folder holds an escape sequence.
class TestTmuxRelaunch : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;
    QByteArray m_savedPath;
    QProcessEnvironment m_environment;

    QString tmux(const QStringList &arguments) const
    {
        const QStringList server{"-S", m_home->path() + "/tmux.sock", "-f", "/dev/null"};
        return QString::fromUtf8(m_home->run("tmux", server + arguments).out).trimmed();
    }
    TestHome::Run quorlane(const QStringList &arguments) const
    {
        QProcess process;
        process.setProcessEnvironment(m_environment);
        process.start(QUORLANE_BINARY, arguments);
        TestHome::Run run;
        if (process.waitForFinished(60000))
            run = {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
        return run;
    }
    QStringList recorded() const
    {
        return QString::fromUtf8(TestHome::read(m_home->path() + "/record")).split('\n', Qt::SkipEmptyParts);
    }
    // A plain shell in a new window of the project, with `command` typed into it; the pane's id.
    QString startInPane(const QString &project, const QString &command) const
    {
        const QString pane = tmux({"new-window", "-d", "-P", "-F", "#{pane_id}", "-c", project});
        tmux({"send-keys", "-t", pane, "-l", command});
        tmux({"send-keys", "-t", pane, "Enter"});
        return pane;
    }
    // A program run directly as a window's process; its id.
    qint64 startImpostor(const QString &command) const
    {
        return tmux({"new-window", "-d", "-P", "-F", "#{pane_pid}", "-c", m_home->path(), command})
            .toLongLong();
    }

private Q_SLOTS:
    void init()
    {
        if (QStandardPaths::findExecutable("tmux").isEmpty() || !QFile::exists("/usr/bin/python3"))
            QSKIP("tmux or python3 is not installed");
        m_home = std::make_unique<TestHome>();
        QFile::setPermissions(m_home->write("bin/claude", standIn),
                              QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        QVERIFY(QDir().mkpath(m_home->path() + "/nested"));
        QVERIFY(QFile::link("/usr/bin/python3", m_home->path() + "/nested/claude"));
        m_savedPath = qgetenv("PATH");
        qputenv("PATH", (m_home->path() + "/bin:").toUtf8() + m_savedPath);
        qunsetenv("TMUX");
        qputenv("HISTFILE", "/dev/null");
        m_environment = m_home->environment();
        for (const char *locale : {"LANG", "LC_ALL", "LC_CTYPE", "LANGUAGE"})
            m_environment.remove(locale);
        tmux({"new-session", "-d", "-x", "200", "-y", "50", "-c", m_home->path(), "bash --norc --noprofile"});
        tmux({"set-option", "-g", "default-command", "bash --norc --noprofile"});
    }
    void cleanup()
    {
        tmux({"kill-server"});
        qputenv("PATH", m_savedPath);
        m_home.reset();
    }

    void onlySessionsAreFoundAndRestarted()
    {
        const QString root = QFileInfo(m_home->path()).canonicalFilePath();
        const QString plain = root + QString::fromUtf8("/caf\u00e9 a\\b");
        const QString hostile = root + "/red\x1b[31m";
        QVERIFY(QDir().mkpath(plain) && QDir().mkpath(hostile));
        // The newest transcript has a name claude would take as an option.
        const QString transcripts = m_home->path() + "/.claude/projects/" + QString(plain).replace('/', '-');
        m_home->write(transcripts + "/" + transcriptID + ".jsonl", "{}");
        QFile hostileName(m_home->write(transcripts + "/--dangerously-skip-permissions.jsonl", "{}"));
        QVERIFY(hostileName.open(QIODevice::ReadWrite) &&
                hostileName.setFileTime(QDateTime::currentDateTime().addSecs(60),
                                        QFileDevice::FileModificationTime));

        m_home->write(".claude/notes.md", "claude notes\n");
        const QString plainPane = startInPane(plain, "claude");
        const QString hostilePane = startInPane(hostile, "claude --resume --dangerously-skip-permissions");
        const QList<qint64> impostors{startImpostor("exec vim -n " + root + "/.claude/settings.json"),
                                      startImpostor("exec less " + root + "/.claude/notes.md"),
                                      startImpostor("touch claude.log; exec tail -f claude.log")};
        QTRY_COMPARE_WITH_TIMEOUT(recorded().size(), 2, 20000);
        for (const qint64 pid : impostors)
            QVERIFY(isRunning(pid));

        QJsonArray sessions;
        QTRY_COMPARE_WITH_TIMEOUT(
            (sessions = QJsonDocument::fromJson(quorlane({"sessions", "--json"}).out).array()).size(), 2,
            20000);
        QList<qint64> sessionPids;
        for (const QJsonValue &session : sessions) {
            const bool isPlain = session["workingDirectory"] == plain;
            QVERIFY2(isPlain || session["workingDirectory"] == hostile,
                     qPrintable(session["workingDirectory"].toString()));
            QCOMPARE(session["terminal"], "tmux");
            QCOMPARE(session["tty"],
                     tmux({"display-message", "-p", "-t", isPlain ? plainPane : hostilePane, "#{pane_tty}"}));
            QVERIFY(session["shellPid"].isDouble());
            if (!isPlain)
                QVERIFY(session["resumeID"].isNull());
            sessionPids.append(session["pid"].toInteger());
        }
        const TestHome::Run text = quorlane({"sessions"});
        QVERIFY2(!text.out.contains('\x1b') && text.out.contains("red\\x1b[31m"), text.out.constData());

        const TestHome::Run run = quorlane({"relaunch", "--json"});
        QCOMPARE(run.exitCode, 0);
        const QJsonObject result = QJsonDocument::fromJson(run.out).object();
        QCOMPARE(result["relaunched"][0]["workingDirectory"], plain);
        QCOMPARE(result["leftAlone"][0]["workingDirectory"], hostile);
        QTRY_COMPARE_WITH_TIMEOUT(recorded().size(), 3, 20000);
        // No option smuggled in: plain claude, or the transcript that has a conversation's name.
        const QString again = recorded().at(2);
        QVERIFY2(again == plain + "|" || again == plain + "|--resume " + transcriptID, qPrintable(again));
        const qint64 relaunched = result["relaunched"][0]["pid"].toInteger();
        QTRY_VERIFY_WITH_TIMEOUT(!isRunning(relaunched), 20000);
        QVERIFY(isRunning(sessionPids.at(0) == relaunched ? sessionPids.at(1) : sessionPids.at(0)));
        for (const qint64 pid : impostors)
            QVERIFY2(isRunning(pid), "an impostor was ended");
        QVERIFY2(!QFile::exists(m_home->path() + "/signalled"), "a process a session started was signalled");
        for (const qint64 pid : impostors)
            ::kill(pid_t(pid), SIGKILL);
    }

    void closedPaneGetsANewWindow()
    {
        // With `exec`, the pane closes when claude ends; the first window keeps the server up.
        const QString project = QFileInfo(m_home->path()).canonicalFilePath() + "/gone";
        QVERIFY(QDir().mkpath(project));
        startInPane(project, "exec claude");
        QTRY_COMPARE_WITH_TIMEOUT(recorded().size(), 1, 20000);
        const TestHome::Run dryRun = quorlane({"relaunch", "--project", project, "--dry-run"});
        QVERIFY2(dryRun.out.contains("tmux -S " + m_home->path().toUtf8() + "/tmux.sock pane "),
                 dryRun.out.constData());
        QVERIFY(quorlane({"relaunch", "--project", project}).out.contains("Relaunched"));
        QTRY_COMPARE_WITH_TIMEOUT(recorded(), (QStringList{project + "|", project + "|"}), 20000);
        QCOMPARE(tmux({"list-windows", "-F", "#{window_id}"}).split('\n').size(), 2);
    }

    // A session whose server no longer answers could not be typed into after the signal: it
    // keeps running.
    void deadServerSignalsNothing()
    {
        QProcess session;
        QProcessEnvironment environment = m_home->environment();
        environment.insert("TMUX", m_home->path() + "/gone.sock,1,0");
        session.setProcessEnvironment(environment);
        session.start("sleep", {"30"});
        QVERIFY(session.waitForStarted());
        SessionManager manager(ProcessSource::forThisSystem(), new RelaunchQueue(this));
        const ClaudeSession tmuxSession{session.processId(),
                                        session.processId(),
                                        m_home->path(),
                                        {},
                                        TerminalType::tmux,
                                        {},
                                        "/dev/pts/999",
                                        {},
                                        true};
        QVERIFY(manager.relaunch({tmuxSession}, 0).isEmpty());
        QTest::ignoreMessage(QtCriticalMsg,
                             QRegularExpression("^Relaunch skipped: tmux cannot be driven now"));
        QCoro::waitFor(manager.relaunchQueue().waitUntilIdle());
        QVERIFY(!session.waitForFinished(300));
        session.kill();
        session.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestTmuxRelaunch)
#include "tst_tmuxrelaunch.moc"
