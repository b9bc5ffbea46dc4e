#include "TestHome.h"
#include "cli/SessionOutput.h"
#include "sessions/SessionDiscovery.h"
#include "sessions/SessionManager.h"
#include "sessions/SessionParsing.h"

#include <QtTest>

#include <QCoro/QCoroTask>

using namespace SessionParsing;

namespace {

// Replays a recorded machine (tests/data/sessions): each "$ " line is a command, followed by
// its output. Commands not listed print nothing, as when the process has gone.
ShellRunner recordedShell(const QString &name)
{
    QHash<QString, QString> outputs;
    QString command;
    for (const QString &line :
         QString(TestHome::read(QUORLANE_TEST_DATA_DIR "/sessions/" + name)).split('\n')) {
        if (line.startsWith("$ "))
            outputs.insert(command = line.mid(2), QString());
        else if (!command.isEmpty())
            outputs[command] += line + '\n';
    }
    return [outputs](const QString &command) { return outputs.value(command); };
}

QString shown(std::optional<qint64> number)
{
    return number ? QString::number(*number) : "-";
}

// Every parser as text in, text out, so that one table holds them all.
const QHash<QString, std::function<QString(const QString &)>> parsers{
    {"decimal", [](const QString &t) { return shown(parseDecimal(t)); }},
    {"line",
     [](const QString &t) {
         const auto l = parseProcessLine(t);
         return l ? QString::number(l->pid) + "|" + l->command + "|" + l->arguments +
                        (isCandidate(*l) ? "|claude" : "")
                  : "-";
     }},
    {"cwd", [](const QString &t) { return workingDirectoryFromLsof(t); }},
    {"tty", [](const QString &t) { return ttyFromPs(t).value_or("-"); }},
    {"shell", [](const QString &t) { return QString(isKnownShell(t) ? "yes" : "no"); }},
    {"parent",
     [](const QString &t) { return shown(parentForWalk(t, 100)) + "/" + shown(parentForShell(t)); }},
    {"terminal",
     [](const QString &t) {
         return TerminalTypes::toString(terminalFromEnvironment(t).value_or(TerminalType::unknown));
     }},
    {"focus", [](const QString &t) { return warpFocusURLFromListing(t).value_or("-"); }},
    {"socket", [](const QString &t) { return tmuxSocketFromListing(t).value_or("-"); }},
    {"resume", [](const QString &t) { return resumeIDFromArguments(t).value_or("-"); }},
};

} // namespace

class TestSessionParsing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data()
    {
        // One case a line: "parser: what<TAB>input<TAB>expected", with \n and \t written out.
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        const auto unescaped = [](QString text) { return text.replace("\\n", "\n").replace("\\t", "\t"); };
        const QString cases = TestHome::read(QUORLANE_TEST_DATA_DIR "/sessions/parsing.tsv");
        for (const QString &line : cases.split('\n', Qt::SkipEmptyParts)) {
            const QStringList fields = line.split('\t');
            QTest::newRow(qPrintable(fields.value(0)))
                << unescaped(fields.value(1)) << unescaped(fields.value(2));
        }
    }
    void parse()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        // The row name says which parser: "tty: …".
        QCOMPARE(parsers.value(QString(QTest::currentDataTag()).section(':', 0, 0))(input), expected);
    }

    void recordedMachines_data()
    {
        QTest::addColumn<QString>("machine");
        QTest::addColumn<qint64>("ownPid");
        QTest::newRow("macOS: Terminal, Warp, VS Code, iTerm2 through the ancestors; itself skipped")
            << "bsd" << qint64(4600);
        QTest::newRow("Linux: tmux pane and VS Code; daemons without a terminal skipped")
            << "procps" << qint64(1);
    }
    void recordedMachines()
    {
        QFETCH(QString, machine);
        QFETCH(qint64, ownPid);
        TestHome home;
        // The Warp session's folder (the dot stays in its name): the newest transcript wins.
        const QString folder = home.path() + "/.claude/projects/-Users-a-my.app/";
        const QDateTime now = QDateTime::currentDateTime();
        const std::pair<QString, int> files[] = {{"11111111-0000-1111-2222-333344445555.jsonl", -60},
                                                 {"9d8c7b6a-0000-1111-2222-333344445555.jsonl", -10},
                                                 {"ffffffff-0000-1111-2222-333344445555.txt", 0}};
        for (const auto &[name, age] : files) {
            QFile f(home.write(folder + name, "{}\n"));
            QVERIFY(f.open(QIODevice::ReadWrite) &&
                    f.setFileTime(now.addSecs(age), QFileDevice::FileModificationTime));
        }
        const SessionDiscovery discovery(recordedShell(machine + ".txt"), home.path(), ownPid);
        const QByteArray expected =
            TestHome::read(QUORLANE_TEST_DATA_DIR "/sessions/" + machine + ".expected.json");
        QCOMPARE(SessionOutput::sessionsJson(discovery.discoverSessions()).dump(1),
                 nlohmann::ordered_json::parse(expected.toStdString()).dump(1));
        QCOMPARE(discovery.findTmuxSocket(3002),
                 machine == "procps" ? "/tmp/tmux-1000/work" : std::optional<QString>());
    }

    void walkStopsAfterSixProcesses()
    {
        // Ancestors 10 → 9 → …; only 5 (the sixth) and 4 name a terminal and a focus link.
        QHash<QString, QString> outputs;
        for (qint64 pid = 10; pid > 2; --pid)
            outputs.insert("ps -p " + QString::number(pid) + " -o ppid=", QString::number(pid - 1));
        outputs.insert("ps eww -p 10", "claude WARP_FOCUS_URL=file:///etc");
        outputs.insert("ps eww -p 4", "x TERM_PROGRAM=iTerm.app WARP_FOCUS_URL=warp://session/far");
        outputs.insert("ps eww -p 5", "x TERM_PROGRAM=iTerm.app WARP_FOCUS_URL=warp://session/near");
        const SessionDiscovery discovery([&outputs](const QString &c) { return outputs.value(c); }, {}, 0);
        QCOMPARE(discovery.detectTerminal(10), TerminalType::iterm2);
        QCOMPARE(discovery.findWarpFocusURL(10), "warp://session/near");
        outputs.remove("ps eww -p 5");
        QCOMPARE(discovery.detectTerminal(10), TerminalType::unknown);
        QCOMPARE(discovery.findWarpFocusURL(10), std::nullopt);
    }

    void refreshAndProjectSelection()
    {
        TestHome home;
        SessionManager manager(recordedShell("procps.txt"));
        QSignalSpy changed(&manager, &SessionManager::sessionSnapshotsChanged);
        QCoro::waitFor(manager.refreshSessions());
        QCOMPARE(changed.size(), 1);
        const auto pids = [&manager](const QString &project) {
            QList<qint64> pids;
            for (const ClaudeSession &session : manager.sessionsInProject(project))
                pids.append(session.pid);
            return pids;
        };
        QCOMPARE(pids("/home/u/"), (QList<qint64>{3002, 4002}));
        QCOMPARE(pids("/home/u/proj"), QList<qint64>{3002});
        QCOMPARE(pids("/home/u/code/"), QList<qint64>{4002});
        QCOMPARE(pids("/home/u/pro"), QList<qint64>{}); // a prefix of the name is not the folder
    }
};

QTEST_GUILESS_MAIN(TestSessionParsing)
#include "tst_sessionparsing.moc"
