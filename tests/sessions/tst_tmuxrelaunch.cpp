#include "TestHome.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <memory>

// The whole road on Linux: a fake `claude` (notes its folder and arguments, then waits) in a
// pane of a tmux server of this test's own, found by `quorlane sessions` and started again in
// the same pane by `quorlane relaunch --project`.
class TestTmuxRelaunch : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;
    QByteArray m_savedPath;

    QString tmux(const QStringList &arguments) const
    {
        const QStringList server{"-S", m_home->path() + "/tmux.sock", "-f", "/dev/null"};
        return QString::fromUtf8(m_home->run("tmux", server + arguments).out).trimmed();
    }
    QStringList recorded() const
    {
        return QString::fromUtf8(TestHome::read(m_home->path() + "/record")).split('\n', Qt::SkipEmptyParts);
    }
    QJsonObject findSession(const QString &directory) const
    {
        for (const QJsonValue &value :
             QJsonDocument::fromJson(m_home->runQuorlane({"sessions", "--json"}).out).array())
            if (value["workingDirectory"] == directory)
                return value.toObject();
        return {};
    }
    // A plain shell in a new pane of the project, with `command` typed into it; the pane's id.
    QString startInPane(const QString &project, const QString &command) const
    {
        tmux({"new-session", "-d", "-x", "200", "-y", "50", "-c", project, "bash --norc --noprofile"});
        tmux({"set-option", "-g", "default-command", "bash --norc --noprofile"});
        const QString pane = tmux({"list-panes", "-a", "-F", "#{pane_id}"});
        tmux({"send-keys", "-t", pane, "-l", command});
        tmux({"send-keys", "-t", pane, "Enter"});
        return pane;
    }

private Q_SLOTS:
    void init()
    {
        if (QStandardPaths::findExecutable("tmux").isEmpty())
            QSKIP("tmux is not installed");
        m_home = std::make_unique<TestHome>();
        const QString claude =
            m_home->write("bin/claude", "#!/bin/bash\n"
                                        "printf '%s|%s\\n' \"$PWD\" \"$*\" >> \"$HOME/record\"\n"
                                        "trap 'kill $! 2>/dev/null; exit 0' TERM HUP\n"
                                        "sleep 300 & wait\n");
        QFile::setPermissions(claude, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        m_savedPath = qgetenv("PATH");
        qputenv("PATH", (m_home->path() + "/bin:").toUtf8() + m_savedPath);
        qunsetenv("TMUX");
        qputenv("HISTFILE", "/dev/null");
    }
    void cleanup()
    {
        tmux({"kill-server"});
        qputenv("PATH", m_savedPath);
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
        m_home->write(".claude/projects/" + QString(project).replace('/', '-') + "/" + resumeID + ".jsonl",
                      "{}");
        const QString pane = startInPane(project, "claude");
        QTRY_COMPARE_WITH_TIMEOUT(recorded(), QStringList{project + "|"}, 20000);

        QJsonObject session;
        QTRY_VERIFY_WITH_TIMEOUT(!(session = findSession(project)).isEmpty(), 20000);
        const QString paneTTY = tmux({"display-message", "-p", "-t", pane, "#{pane_tty}"});
        QCOMPARE(session["terminal"], "tmux");
        QCOMPARE(session["tty"], paneTTY);
        QCOMPARE(session["resumeID"], resumeID);
        QVERIFY(session["shellPid"].isDouble() && session["warpFocusURL"].isNull());

        const TestHome::Run dryRun = m_home->runQuorlane({"relaunch", "--project", project, "--dry-run"});
        QVERIFY2(dryRun.out.contains(("tmux -S " + m_home->path() + "/tmux.sock pane " + pane).toUtf8()),
                 dryRun.out.constData());
        QCOMPARE(m_home->runQuorlane({"relaunch", "--project", "", "--dry-run"}).exitCode, 2);
        QCOMPARE(recorded().size(), 1); // neither signalled anything

        const TestHome::Run run = m_home->runQuorlane({"relaunch", "--project", project, "--json"});
        const QJsonObject result = QJsonDocument::fromJson(run.out).object();
        QCOMPARE(result["relaunched"].toArray().size(), 1);
        QCOMPARE(result["leftAlone"].toArray().size(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(recorded().size(), 2, 20000);
        QCOMPARE(recorded().at(1), project + "|--resume " + resumeID);
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists("/proc/" + QString::number(session["pid"].toInteger())),
                                 20000);
        QVERIFY(!QFile::exists(project + "/pwned") && !QFile::exists(m_home->path() + "/pwned"));
        QCOMPARE(findSession(project)["tty"], paneTTY);
        QCOMPARE(tmux({"list-panes", "-a", "-F", "#{pane_id}"}), pane); // no other pane was opened
    }

    void closedPaneGetsANewWindow()
    {
        // With `exec`, the pane closes when claude ends; a second window keeps the server up.
        const QString project = QFileInfo(m_home->path()).canonicalFilePath() + "/gone";
        QVERIFY(QDir().mkpath(project));
        startInPane(project, "exec claude");
        QTRY_COMPARE_WITH_TIMEOUT(recorded().size(), 1, 20000);
        tmux({"new-window", "-d", "-c", m_home->path()});
        QVERIFY(m_home->runQuorlane({"relaunch", "--project", project}).out.contains("Relaunched"));
        QTRY_COMPARE_WITH_TIMEOUT(recorded(), (QStringList{project + "|", project + "|"}), 20000);
        QCOMPARE(tmux({"list-windows", "-F", "#{window_id}"}).split('\n').size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestTmuxRelaunch)
#include "tst_tmuxrelaunch.moc"
