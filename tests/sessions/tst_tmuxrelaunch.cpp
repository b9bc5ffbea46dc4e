#include "TestHome.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <memory>

namespace {

// A stand-in for Claude Code: notes where it runs and with which arguments, then waits.
const QByteArray fakeClaude = "#!/bin/bash\n"
                              "printf '%s|%s\\n' \"$PWD\" \"$*\" >> \"$FAKE_CLAUDE_RECORD\"\n"
                              "trap 'kill $! 2>/dev/null; exit 0' TERM HUP\n"
                              "sleep 300 &\n"
                              "wait\n";

QString encoded(QString directory)
{
    return directory.replace(QLatin1Char('/'), QLatin1Char('-'));
}

} // namespace

// The whole road on Linux: a fake `claude` in a pane of a real tmux server of this test's own,
// found by `quorlane sessions` and restarted in the same pane by `quorlane relaunch --project`.
class TestTmuxRelaunch : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;
    QString m_socket;
    QProcessEnvironment m_environment;

    QString tmux(const QStringList &arguments)
    {
        QProcess process;
        process.setProcessEnvironment(m_environment);
        process.start("tmux", QStringList{"-S", m_socket, "-f", "/dev/null"} + arguments);
        if (!process.waitForFinished(20000))
            return QStringLiteral("(tmux timed out)");
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }

    QStringList recorded() const
    {
        return QString::fromUtf8(TestHome::read(m_home->path() + "/claude-record.txt"))
            .split('\n', Qt::SkipEmptyParts);
    }

    // The real binary, with the fake claude first on PATH: a new tmux window started on its
    // behalf gets its environment.
    TestHome::Run quorlane(const QStringList &arguments)
    {
        QProcess process;
        process.setProcessEnvironment(m_environment);
        process.start(QStringLiteral(QUORLANE_BINARY), arguments);
        TestHome::Run run;
        if (!process.waitForFinished(60000)) {
            process.kill();
            process.waitForFinished();
            return run;
        }
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = process.readAllStandardOutput();
        run.err = process.readAllStandardError();
        return run;
    }

    QJsonObject findSession(const QString &directory)
    {
        const TestHome::Run run = quorlane({"sessions", "--json"});
        if (run.exitCode != 0)
            qWarning() << "sessions failed:" << run.err;
        for (const QJsonValue &value : QJsonDocument::fromJson(run.out).array()) {
            if (value.toObject().value("workingDirectory").toString() == directory)
                return value.toObject();
        }
        return {};
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable("tmux").isEmpty())
            QSKIP("tmux is not installed");
    }

    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_home->write("bin/claude", fakeClaude);
        QFile::setPermissions(m_home->path() + "/bin/claude",
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        m_socket = m_home->path() + "/tmux.sock";
        m_environment = m_home->environment();
        m_environment.insert("PATH", m_home->path() + "/bin:" + m_environment.value("PATH"));
        m_environment.insert("FAKE_CLAUDE_RECORD", m_home->path() + "/claude-record.txt");
        m_environment.remove("TMUX");
        m_environment.insert("HISTFILE", "/dev/null");
    }

    void cleanup()
    {
        tmux({"kill-server"});
        m_home.reset();
    }

    void relaunchInSamePane_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("ordinary folder") << "my project";
        QTest::newRow("folder with shell syntax") << "it's \"odd\" $HOME `id` !bang $(touch pwned)";
    }
    void relaunchInSamePane()
    {
        QFETCH(QString, folder);
        const QString project = QFileInfo(m_home->path()).canonicalFilePath() + "/" + folder;
        QVERIFY(QDir().mkpath(project));
        const QString resumeID = "6f1d2c3b-aaaa-bbbb-cccc-0123456789ab";
        m_home->write(".claude/projects/" + encoded(project) + "/" + resumeID + ".jsonl", "{}\n");

        tmux({"new-session", "-d", "-x", "200", "-y", "50", "-c", project, "bash --norc --noprofile"});
        const QString pane = tmux({"list-panes", "-a", "-F", "#{pane_id}"});
        const QString paneTTY = tmux({"display-message", "-p", "-t", pane, "#{pane_tty}"});
        QVERIFY2(paneTTY.startsWith("/dev/"), qPrintable(paneTTY));
        tmux({"send-keys", "-t", pane, "-l", "claude"});
        tmux({"send-keys", "-t", pane, "Enter"});
        QTRY_COMPARE_WITH_TIMEOUT(recorded().size(), 1, 20000);
        QCOMPARE(recorded().first(), project + "|");

        QJsonObject session;
        QTRY_VERIFY_WITH_TIMEOUT(!(session = findSession(project)).isEmpty(), 20000);
        QCOMPARE(session.value("terminal").toString(), QStringLiteral("tmux"));
        QCOMPARE(session.value("tty").toString(), paneTTY);
        QCOMPARE(session.value("resumeID").toString(), resumeID);
        QVERIFY(session.value("shellPid").isDouble()); // the pane's bash
        QVERIFY(session.value("warpFocusURL").isNull());
        const qint64 oldPid = session.value("pid").toInteger();

        const TestHome::Run dryRun = quorlane({"relaunch", "--project", project, "--dry-run"});
        QCOMPARE(dryRun.exitCode, 0);
        QVERIFY2(dryRun.out.contains(("tmux -S " + m_socket + " pane " + pane).toUtf8()),
                 dryRun.out.constData());
        QCOMPARE(recorded().size(), 1); // a dry run signals nothing

        const TestHome::Run run = quorlane({"relaunch", "--project", project, "--json"});
        QCOMPARE(run.exitCode, 0);
        const QJsonObject result = QJsonDocument::fromJson(run.out).object();
        QCOMPARE(result.value("relaunched").toArray().size(), 1);
        QVERIFY(result.value("leftAlone").toArray().isEmpty());

        QTRY_COMPARE_WITH_TIMEOUT(recorded().size(), 2, 20000);
        QCOMPARE(recorded().at(1), project + "|--resume " + resumeID);
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists("/proc/" + QString::number(oldPid)), 20000);
        QVERIFY(!QFile::exists(project + "/pwned"));
        QVERIFY(!QFile::exists(m_home->path() + "/pwned"));

        // The new process runs in the same pane, and it is the only session of the folder.
        QJsonObject restarted;
        QTRY_VERIFY_WITH_TIMEOUT(!(restarted = findSession(project)).isEmpty() &&
                                     restarted.value("pid").toInteger() != oldPid,
                                 20000);
        QCOMPARE(restarted.value("tty").toString(), paneTTY);
        QCOMPARE(tmux({"list-panes", "-a", "-F", "#{pane_id}"}), pane);
    }

    void closedPaneGetsANewWindow()
    {
        // The session's pane no longer exists by the time the line is typed: the server gets a
        // new window in the session's folder.
        const QString project = QFileInfo(m_home->path()).canonicalFilePath() + "/gone";
        QVERIFY(QDir().mkpath(project));
        tmux({"new-session", "-d", "-x", "200", "-y", "50", "-c", project, "bash --norc --noprofile"});
        // New windows get the same plain shell, which keeps the fake claude on PATH.
        tmux({"set-option", "-g", "default-command", "bash --norc --noprofile"});
        const QString pane = tmux({"list-panes", "-a", "-F", "#{pane_id}"});
        tmux({"send-keys", "-t", pane, "-l", "exec claude"});
        tmux({"send-keys", "-t", pane, "Enter"});
        QTRY_COMPARE_WITH_TIMEOUT(recorded().size(), 1, 20000);
        // With `exec`, the pane closes when claude ends; a second window keeps the server up.
        tmux({"new-window", "-d", "-c", m_home->path(), "bash --norc --noprofile"});

        const TestHome::Run run = quorlane({"relaunch", "--project", project});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.contains("Relaunched"), (run.out + run.err).constData());
        QTRY_COMPARE_WITH_TIMEOUT(recorded().size(), 2, 20000);
        QCOMPARE(recorded().at(1), project + "|"); // no transcript: plain "claude"
        QCOMPARE(tmux({"list-windows", "-F", "#{window_id}"}).split('\n').size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestTmuxRelaunch)
#include "tst_tmuxrelaunch.moc"
