// The real binary against files that are not files: a FIFO, a link to /dev/zero, a folder or a
// link that loops, in every place Quorlane reads or writes. Each command must finish within
// seconds, name the file and what it is, change nothing, and still show what it could read.
#include "TestHome.h"
#include "store/ProjectRecordFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <nlohmann/json.hpp>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kClaudeJson = R"({"mcpServers":{"g":{"command":"/bin/true"}},)"
                               R"("projects":{"/srv/app":{"mcpServers":{"p":{"command":"p"}}}}})";
const QByteArray kDesktop = R"({"mcpServers":{"d":{"command":"/bin/true"}}})";

constexpr int kFinishWithinMs = 10000;

enum class Kind
{
    fifo,
    deviceLink,
    folder,
    loop
};

// Puts the hostile thing at `path`, replacing a file there.
void plant(const QString &path, Kind kind)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile::remove(path);
    const QByteArray native = QFile::encodeName(path);
    switch (kind) {
    case Kind::fifo:
        QCOMPARE(::mkfifo(native.constData(), 0600), 0);
        break;
    case Kind::deviceLink:
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
        break;
    case Kind::folder:
        QVERIFY(QDir().mkpath(path));
        break;
    case Kind::loop:
        QCOMPARE(::symlink(native.constData(), native.constData()), 0);
        break;
    }
}

// Where a test puts the hostile thing: one of the files Quorlane knows by name, a file in its
// own folder ("Quorlane/…"), or one relative to the home.
QString placed(const TestHome &home, const QString &file)
{
    if (file == u"~/.claude.json")
        return home.claudeJson();
    if (file == u"Desktop file")
        return home.desktopConfig();
    if (file == u"stash")
        return home.stash();
    if (file == u"project record")
        return ProjectRecordFile::sidecarPath(QStringLiteral("/srv/app"));
    return (file.startsWith(u"Quorlane/") ? home.configDir() : home.path()) + u'/' + file;
}

} // namespace

class TestHostileFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // `exitCode` of the command that must read (or change) the file; `named`: its message names it.
    void specialFileIsNamedAndLeftAlone_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<bool>("named");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("whatItIs");
        const auto place = [](const char *file, const char *what, const QStringList &command, int exitCode,
                              bool named) {
            // Each kind with what the message says it is.
            const std::tuple<const char *, Kind, const char *> kinds[] = {
                {"FIFO", Kind::fifo, "it is a FIFO, not a regular file"},
                {"/dev/zero link", Kind::deviceLink, "it is a character device, not a regular file"},
                {"folder", Kind::folder, "it is a folder, not a regular file"},
                {"loop", Kind::loop, "Too many levels of symbolic links"}};
            for (const auto &[kindName, kind, whatItIs] : kinds)
                QTest::addRow("%s %s, %s", file, what, kindName)
                    << QString::fromLatin1(file) << command << exitCode << named << int(kind)
                    << QByteArray(whatItIs);
        };
        place("~/.claude.json", "listed", {"list"}, 1, true);
        place("~/.claude.json", "switched", {"disable", "g"}, 1, true);
        place("Desktop file", "listed", {"list"}, 1, true);
        place("Desktop file", "switched", {"disable", "--desktop", "d"}, 1, true);
        place("stash", "listed", {"list"}, 1, true);
        place("stash", "switched", {"disable", "g"}, 1, true);
        place("project record", "switched", {"disable", "p", "--project", "/srv/app"}, 1, true);
        place("clone/.mcp.json", "scanned", {"list"}, 1, true);
        // A cloned repository's file is not the switch's business: an unrelated switch goes through.
        place("clone/.mcp.json", "scanned, unrelated switch", {"disable", "g"}, 0, false);
        place("Quorlane/preferences.json", "shown", {"prefs"}, 1, true);
        place("Quorlane/preferences.json", "changed", {"prefs", "set", "autoRelaunch", "true"}, 1, true);
        place("Quorlane/preferences.json", "read by list", {"list"}, 0, false);
        place("Quorlane/mcp_probe_cache_v2.json", "probe cache", {"tokens", "g"}, 0, false);
    }
    void specialFileIsNamedAndLeftAlone()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, command);
        QFETCH(int, exitCode);
        QFETCH(bool, named);
        QFETCH(int, kind);
        QFETCH(QByteArray, whatItIs);
        TestHome home;
        home.write(home.claudeJson(), kClaudeJson);
        home.write(home.desktopConfig(), kDesktop);
        const QString path = placed(home, file);
        plant(path, Kind(kind));
        const QByteArray claudeBefore =
            path == home.claudeJson() ? QByteArray() : TestHome::read(home.claudeJson());

        const TestHome::Run run = home.runQuorlane(command, kFinishWithinMs);
        QVERIFY2(run.err != "timed out", "the command waited on the special file");
        QVERIFY2(run.exitCode == exitCode, run.err.constData());
        if (named) {
            QVERIFY2(run.err.contains(path.toUtf8()), run.err.constData());
            QVERIFY2(run.err.contains(whatItIs), run.err.constData());
        }
        // The special file is still what it was, and a failed command changed nothing.
        const QFileInfo after(path);
        QCOMPARE(after.isSymLink(), Kind(kind) == Kind::deviceLink || Kind(kind) == Kind::loop);
        if (Kind(kind) == Kind::folder)
            QVERIFY(after.isDir());
        if (exitCode != 0 && !claudeBefore.isEmpty())
            QCOMPARE(TestHome::read(home.claudeJson()), claudeBefore);
        QVERIFY(!QFileInfo::exists(home.claudeJson() + QStringLiteral(".lock")));
    }

    // Everything readable is listed; each unreadable source is named on stderr and in "errors".
    void listNamesEachUnreadableSource_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");
        QTest::newRow("truncated ~/.claude.json")
            << ".claude.json" << QByteArray("{\"mcpServers\":{\"half") << "not a JSON object";
        QTest::newRow("truncated Desktop file")
            << ".config/Claude/claude_desktop_config.json" << QByteArray("{\"mcpS") << "not a JSON object";
        QTest::newRow("stash of the wrong shape") << ".config/Quorlane/disabled-global-mcps.json"
                                                  << QByteArray("{\"global\":{}}") << "not a valid stash";
    }
    void listNamesEachUnreadableSource()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        TestHome home;
        home.write(home.claudeJson(), kClaudeJson);
        home.write(home.desktopConfig(), kDesktop);
        const QString path = home.write(file, content);

        const TestHome::Run text = home.runQuorlane({QStringLiteral("list")});
        QCOMPARE(text.exitCode, 1);
        QVERIFY2(text.err.contains(path.toUtf8()) && text.err.contains(expected.toUtf8()),
                 text.err.constData());
        // The sources that could be read are still there, in both forms.
        const bool globalReadable = file.contains(QStringLiteral("Claude/"));
        QVERIFY2(text.out.contains(globalReadable ? "[on]  g  /bin/true" : "[on]  d  /bin/true"),
                 text.out.constData());
        const TestHome::Run json = home.runQuorlane({QStringLiteral("list"), QStringLiteral("--json")});
        QCOMPARE(json.exitCode, 1);
        const auto root = nlohmann::json::parse(json.out.toStdString());
        QCOMPARE(root["errors"].size(), std::size_t(1));
        QCOMPARE(QString::fromStdString(root["errors"][0]["file"]), path);
        QVERIFY(!root[globalReadable ? "global" : "desktop"].empty());
    }

    void outputThatCannotBeWrittenFails_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("list") << QStringList{"list"};
        QTest::newRow("list --json") << QStringList{"list", "--json"};
        QTest::newRow("prefs") << QStringList{"prefs"};
        QTest::newRow("panel --screenshot") << QStringList{"panel", "--demo", "--screenshot", "/dev/full"};
    }
    void outputThatCannotBeWrittenFails()
    {
        QFETCH(QStringList, arguments);
        TestHome home;
        home.write(home.claudeJson(), kClaudeJson);
        QProcess process;
        process.setProcessEnvironment(home.environment());
        process.setStandardOutputFile(QStringLiteral("/dev/full"));
        process.start(QStringLiteral(QUORLANE_BINARY), arguments);
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 1);
        QVERIFY2(process.readAllStandardError().contains("No space left on device"),
                 "the error is not named");
    }

    void scaleOutsideItsRangeIsAUsageError_data()
    {
        QTest::addColumn<QString>("scale");
        for (const char *scale : {"nan", "0", "-1", "1e9", "inf"})
            QTest::newRow(scale) << QString::fromLatin1(scale);
    }
    void scaleOutsideItsRangeIsAUsageError()
    {
        QFETCH(QString, scale);
        TestHome home;
        const TestHome::Run run = home.runQuorlane(
            {"panel", "--demo", "--screenshot", home.path() + "/x.png", "--scale", scale}, kFinishWithinMs);
        QCOMPARE(run.exitCode, 2);
        QVERIFY(!QFileInfo::exists(home.path() + "/x.png"));
    }

    // A signal in the middle of a switch: the switch finishes (or rolls back), every lock is
    // released, the process ends with 128 + signal, and the next command does not wait.
    void signalDuringASwitchLeavesNoLock_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }
    void signalDuringASwitchLeavesNoLock()
    {
        QFETCH(int, signal);
        TestHome home;
        home.write(home.claudeJson(), kClaudeJson);
        // Claude Code's lock, held by "Claude Code" (this test): the switch waits inside for it.
        const QString lock = home.claudeJson() + QStringLiteral(".lock");
        QVERIFY(QDir().mkdir(lock));
        QProcess process;
        process.setProcessEnvironment(home.environment());
        process.start(QStringLiteral(QUORLANE_BINARY), {QStringLiteral("disable"), QStringLiteral("g")});
        QVERIFY(process.waitForStarted());
        // Quorlane's lock file appears once the switch has begun.
        QTRY_VERIFY_WITH_TIMEOUT(
            QFileInfo::exists(home.configDir() + QStringLiteral("/Quorlane/switch.lock")), kFinishWithinMs);
        QTest::qWait(100);
        ::kill(pid_t(process.processId()), signal);
        QVERIFY2(!process.waitForFinished(300), "the signal cut the switch short");
        QVERIFY(QDir().rmdir(lock)); // "Claude Code" is done
        QVERIFY(process.waitForFinished(kFinishWithinMs));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 128 + signal);
        QVERIFY(!QFileInfo::exists(lock));
        // The switch went through whole: the definition is in exactly one file.
        const auto live = nlohmann::json::parse(TestHome::read(home.claudeJson()).toStdString());
        const auto stash = nlohmann::json::parse(TestHome::read(home.stash()).toStdString());
        QVERIFY(!live["mcpServers"].contains("g"));
        QVERIFY(stash["global"].contains("g"));

        QElapsedTimer next;
        next.start();
        const TestHome::Run enable = home.runQuorlane({QStringLiteral("enable"), QStringLiteral("g")});
        QCOMPARE(enable.exitCode, 0);
        QVERIFY2(next.elapsed() < 5000, "the next command waited for a lock");
    }
};

QTEST_GUILESS_MAIN(TestHostileFiles)
#include "tst_hostilefiles.moc"
