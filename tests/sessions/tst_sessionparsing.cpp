#include "TestHome.h"
#include "cli/SessionOutput.h"
#include "platform/TranscriptFolders.h"
#include "sessions/PsProcessSource.h"
#include "sessions/SessionDiscovery.h"
#include "sessions/SessionManager.h"
#include "sessions/SessionParsing.h"

#include <QtTest>

#include <QCoro/QCoroTask>

using namespace SessionParsing;

namespace {

// Replays a recorded machine (tests/data/sessions): each "$ " line is a command, followed by
// its output, with @HOME@ standing for `home`. Commands not listed print nothing, as when the
// process has gone.
std::shared_ptr<const ProcessSource> recordedMachine(const QString &name, const QString &home)
{
    QHash<QString, QString> outputs;
    QString command;
    const QString recording = QString(TestHome::read(QUORLANE_TEST_DATA_DIR "/sessions/" + name));
    for (const QString &line : QString(recording).replace("@HOME@", home).split('\n')) {
        if (line.startsWith("$ "))
            outputs.insert(command = line.mid(2), QString());
        else if (!command.isEmpty())
            outputs[command] += line + '\n';
    }
    return std::make_shared<PsProcessSource>([outputs](const QString &c) { return outputs.value(c); });
}

// A machine given as a table, for the walks up the ancestors.
class TableSource : public ProcessSource
{
public:
    QList<ProcessInfo> list;
    QHash<qint64, QStringList> environments;
    QList<ProcessInfo> processes() const override { return list; }
    QString workingDirectory(qint64) const override { return {}; }
    QStringList environment(qint64 pid) const override { return environments.value(pid); }
    std::optional<QString> tty(qint64) const override { return std::nullopt; }
};

QString shown(std::optional<qint64> number)
{
    return number ? QString::number(*number) : "-";
}

ProcessInfo processOf(const QString &text)
{
    const QStringList fields = text.split('|');
    return ProcessInfo{1, 0, fields.value(0), fields.value(1), fields.value(2).split(' ')};
}

// Every parser as text in, text out, so that one table holds them all.
const QHash<QString, std::function<QString(const QString &)>> parsers{
    {"decimal", [](const QString &t) { return shown(parseDecimal(t)); }},
    {"line",
     [](const QString &t) {
         const auto p = parseProcessLine(t);
         return p ? QString("%1|%2|%3|%4").arg(p->pid).arg(p->parentPid).arg(p->name, p->arguments.join(' '))
                  : "-";
     }},
    {"claude", [](const QString &t) { return QString(isClaudeCode(processOf(t)) ? "yes" : "no"); }},
    {"cwd", [](const QString &t) { return workingDirectoryFromLsof(t); }},
    {"tty", [](const QString &t) { return ttyFromPs(t).value_or("-"); }},
    {"shell", [](const QString &t) { return QString(isKnownShell(t) ? "yes" : "no"); }},
    {"terminal",
     [](const QString &t) {
         return TerminalTypes::toString(
             terminalFromEnvironment(wordsOfListing(t)).value_or(TerminalType::unknown));
     }},
    {"focus", [](const QString &t) { return warpFocusURLFromEnvironment(wordsOfListing(t)).value_or("-"); }},
    {"socket", [](const QString &t) { return tmuxSocketFromEnvironment(wordsOfListing(t)).value_or("-"); }},
    {"resume", [](const QString &t) { return resumeIDFromArguments(t.split(' ')).value_or("-"); }},
};

// "\\", "\n" and "\t" as written in the table; any other backslash stays.
QString unescaped(const QString &text)
{
    QString result;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar next = i + 1 < text.size() ? text.at(i + 1) : QChar();
        if (text.at(i) == '\\' && (next == '\\' || next == 'n' || next == 't')) {
            result += next == 'n' ? QChar('\n') : next == 't' ? QChar('\t') : QChar('\\');
            ++i;
        } else {
            result += text.at(i);
        }
    }
    return result;
}

} // namespace

class TestSessionParsing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data()
    {
        // One case a line: "parser: what<TAB>input<TAB>expected".
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
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

    // macOS: Terminal, Warp, VS Code, iTerm2 through the ancestors; an editor, a command a
    // session runs and a claude below it are no sessions, nor is a daemon without a terminal.
    void recordedMachine()
    {
        TestHome home;
        for (const char *folder : {"app", "my.app", "code", "walk"})
            QVERIFY(QDir().mkpath(home.path() + "/" + folder));
        // The Warp session's folder: the newest transcript wins.
        const QString folder = home.path() + "/.claude/projects/" +
                               TranscriptFolders::claudeCodeName(home.path() + "/my.app") + "/";
        const QDateTime now = QDateTime::currentDateTime();
        const std::pair<QString, int> files[] = {{"11111111-0000-1111-2222-333344445555.jsonl", -60},
                                                 {"9d8c7b6a-0000-1111-2222-333344445555.jsonl", -10},
                                                 {"ffffffff-0000-1111-2222-333344445555.txt", 0}};
        for (const auto &[name, age] : files) {
            QFile f(home.write(folder + name, "{}\n"));
            QVERIFY(f.open(QIODevice::ReadWrite) &&
                    f.setFileTime(now.addSecs(age), QFileDevice::FileModificationTime));
        }
        const SessionDiscovery discovery(::recordedMachine("bsd.txt", home.path()), home.path(), 4600);
        const QString expected = QString(TestHome::read(QUORLANE_TEST_DATA_DIR "/sessions/bsd.expected.json"))
                                     .replace("@HOME@", home.path());
        QCOMPARE(SessionOutput::sessionsJson(discovery.discoverSessions()).dump(1),
                 nlohmann::ordered_json::parse(expected.toStdString()).dump(1));

        // The manager publishes them once and picks a project's by whole folder names.
        RelaunchQueue queue;
        SessionManager manager(::recordedMachine("bsd.txt", home.path()), &queue);
        QSignalSpy changed(&manager, &SessionManager::sessionSnapshotsChanged);
        QCoro::waitFor(manager.refreshSessions());
        QCOMPARE(changed.size(), 1);
        const auto pids = [&](const QString &project) {
            QList<qint64> pids;
            for (const ClaudeSession &session : manager.sessionsInProject(home.path() + project))
                pids.append(session.pid);
            return pids;
        };
        QCOMPARE(pids("/"), (QList<qint64>{4242, 4300, 4700, 4800}));
        QCOMPARE(pids("/app"), QList<qint64>{4242});
        QCOMPARE(pids("/my.app/"), QList<qint64>{4300});
        QCOMPARE(pids("/ap"), QList<qint64>{}); // a prefix of the name is not the folder

        // A folder that is gone cannot be returned to: that session is not listed.
        QVERIFY(QDir(home.path() + "/walk").removeRecursively());
        QCOMPARE(discovery.discoverSessions().size(), 3);
    }

    void walkStopsAfterSixProcesses()
    {
        // Ancestors 10 → 9 → …; only 5 (the sixth) and 4 name a terminal and a focus link.
        auto source = std::make_shared<TableSource>();
        for (qint64 pid = 10; pid > 2; --pid)
            source->list.append({pid, pid - 1, "p", {}, {}});
        source->environments.insert(10, {"WARP_FOCUS_URL=file:///etc"});
        source->environments.insert(4, {"TERM_PROGRAM=iTerm.app", "WARP_FOCUS_URL=warp://session/far"});
        source->environments.insert(5, {"TERM_PROGRAM=iTerm.app", "WARP_FOCUS_URL=warp://session/near"});
        const SessionDiscovery discovery(source, {}, 0);
        const ProcessTable table = processTable(source->list);
        QCOMPARE(discovery.detectTerminal(10, table), TerminalType::iterm2);
        QCOMPARE(discovery.findWarpFocusURL(10, table), "warp://session/near");
        source->environments.remove(5);
        QCOMPARE(discovery.detectTerminal(10, table), TerminalType::unknown);
        QCOMPARE(discovery.findWarpFocusURL(10, table), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestSessionParsing)
#include "tst_sessionparsing.moc"
