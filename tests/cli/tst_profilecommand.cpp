// `quorlane profile`: saved sets of switches applied through the same paths as a click, beside
// the real Claude Code command-line tool, in a temporary home.
#include "TestHome.h"
#include "store/QuorlaneProjectConfig.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <nlohmann/json.hpp>

using nlohmann::json;

#define QCOMPARE_JSON(actual, expected)                                                                      \
    QVERIFY2((actual) == (expected), qPrintable(QString::fromStdString((actual).dump()) +                    \
                                                " != " + QString::fromStdString((expected).dump())))

namespace {

json parse(const QByteArray &bytes)
{
    return json::parse(bytes.toStdString());
}

json server(const char *command)
{
    return json{{"command", command}, {"args", json::array({"--flag"})}, {"env", {{"TOKEN", "secret"}}}};
}

// Three global servers, one in each of two projects, one of Claude Desktop's.
struct ProfileHome
{
    TestHome home;
    QString app = home.path() + QStringLiteral("/code/app");
    QString zed = home.path() + QStringLiteral("/code/zed");

    ProfileHome()
    {
        QDir().mkpath(app);
        QDir().mkpath(zed);
        const json claude{
            {"mcpServers", {{"a", server("run-a")}, {"b", server("run-b")}, {"c", server("run-c")}}},
            {"projects",
             {{app.toStdString(), {{"mcpServers", {{"p", server("run-p")}}}}},
              {zed.toStdString(), {{"mcpServers", {{"r", server("run-r")}}}}}}},
            {"numStartups", 7}};
        home.write(home.claudeJson(), QByteArray::fromStdString(claude.dump(2)));
        home.write(home.desktopConfig(), R"({"mcpServers":{"d":{"command":"run-d"}},"theme":"dark"})");
        // No test relaunches a session it did not start.
        QCOMPARE_EQ(quorlane({"prefs", "set", "autoRelaunch", "false"}).exitCode, 0);
    }
    [[nodiscard]] TestHome::Run quorlane(const QStringList &arguments) const
    {
        return home.runQuorlane(arguments);
    }
    void run(const QStringList &arguments)
    {
        const TestHome::Run done = quorlane(arguments);
        QVERIFY2(done.exitCode == 0,
                 qPrintable(arguments.join(' ') + ": " + QString::fromUtf8(done.out + done.err)));
    }
    [[nodiscard]] json claudeJson() const { return parse(TestHome::read(home.claudeJson())); }
    [[nodiscard]] json desktop() const { return parse(TestHome::read(home.desktopConfig())); }
    [[nodiscard]] QString profiles() const
    {
        return home.configDir() + QStringLiteral("/Quorlane/profiles.json");
    }
};

TestHome::Run claude(const TestHome &home, const QString &arguments)
{
    TestHome::Run run = home.run("claude", arguments.split(' '), home.path(), 120000);
    if (run.exitCode != 0)
        qWarning("claude %s failed: %s %s", qPrintable(arguments), run.out.constData(), run.err.constData());
    return run;
}

} // namespace

class TestProfileCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("no subcommand") << QStringList{"profile"} << "missing SUBCOMMAND";
        QTest::newRow("unknown subcommand") << QStringList{"profile", "rename"} << "unknown subcommand";
        QTest::newRow("save without a name") << QStringList{"profile", "save"} << "missing profile NAME";
        QTest::newRow("65 characters") << QStringList{"profile", "save", QString(65, 'x')} << "at most 64";
        QTest::newRow("a newline") << QStringList{"profile", "save", "web\napp"} << "control characters";
        QTest::newRow("only spaces") << QStringList{"profile", "save", "  "} << "cannot be empty";
        QTest::newRow("two names") << QStringList{"profile", "apply", "a", "b"} << "unexpected argument";
        QTest::newRow("dry run of a save") << QStringList{"profile", "save", "a", "--dry-run"} << "dry-run";
    }
    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        ProfileHome home;
        const TestHome::Run run = home.quorlane(arguments);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains(message.toUtf8()), run.err.constData());
        QVERIFY(!QFile::exists(home.profiles()));
    }

    // Saved, switched by hand and by Claude Code (a server added, one removed), applied: every
    // server is back as saved, and every other member of every file keeps its value.
    void applyBringsTheSavedStateBack()
    {
        if (QStandardPaths::findExecutable("claude").isEmpty())
            QSKIP("the claude command-line tool is not installed");
        ProfileHome h;
        h.run({"disable", "c"});
        h.run({"profile", "save", "work", "--from-current"});
        const json original = parse(TestHome::read(h.home.claudeJson()));
        h.run({"enable", "c"});
        h.run({"disable", "a"});
        h.run({"disable", "d", "--desktop"});
        h.run({"disable", "p", "--project", h.app});
        // Claude Code's own switch in a folder (what /mcp writes), of a server still on globally.
        h.run({"disable", "b", "--project", h.zed});
        h.run({"disable", "c", "--project", h.zed});
        QCOMPARE(claude(h.home, "mcp add -s user fresh -- /bin/true").exitCode, 0);
        QCOMPARE(claude(h.home, "mcp remove -s user b").exitCode, 0);
        const json claudeBefore = h.claudeJson();
        const json desktopBefore = h.desktop();

        const TestHome::Run dry = h.quorlane({"profile", "apply", "work", "--dry-run"});
        QCOMPARE(dry.exitCode, 0);
        QVERIFY2(dry.out.contains("Would switch on a (global)\n"), dry.out.constData());
        QCOMPARE_JSON(h.claudeJson(), claudeBefore);

        const TestHome::Run applied = h.quorlane({"profile", "apply", "work"});
        QVERIFY2(applied.exitCode == 0, applied.err.constData());
        const QString app = h.app;
        for (const QString &line :
             {QStringLiteral("Switched on a (global)"), QStringLiteral("Switched off c (global)"),
              QStringLiteral("Switched on d (Claude Desktop)"),
              QStringLiteral("Switched on p (project %1)").arg(app),
              QStringLiteral("Switched on c (Claude Code\u2019s switch in %1)").arg(h.zed),
              QStringLiteral("Left alone, no longer configured: b (global)"),
              QStringLiteral("Appeared since the profile was saved, left as it is: fresh (global)")})
            QVERIFY2(applied.out.contains((line + '\n').toUtf8()), applied.out.constData());

        json expected = claudeBefore;
        expected["mcpServers"]["a"] = original["mcpServers"]["a"];
        expected["mcpServers"].erase("c");
        expected["projects"][app.toStdString()]["mcpServers"]["p"] = server("run-p");
        // b is gone from the user's servers; its Claude Code switch in zed stays as it was.
        expected["projects"][h.zed.toStdString()]["disabledMcpServers"] = json::array({"b"});
        QCOMPARE_JSON(h.claudeJson(), expected);
        json expectedDesktop = desktopBefore;
        expectedDesktop["mcpServers"]["d"] = json{{"command", "run-d"}};
        QCOMPARE_JSON(h.desktop(), expectedDesktop);
        QVERIFY(TestHome::read(h.home.stash()).contains("run-c"));

        const TestHome::Run again = h.quorlane({"profile", "apply", "work", "--json"});
        QCOMPARE(again.exitCode, 0);
        const json report = json::parse(again.out.toStdString());
        QVERIFY(report["switched"].empty());
        QVERIFY(report["gone"][0]["name"] == "b");
        QVERIFY(report["appeared"][0]["name"] == "fresh");
        QVERIFY2(h.quorlane({"profile", "list"}).out.contains("matches now"), "the applied profile matches");
    }

    // The second of three switches cannot be written: the first stays done, the third is not
    // attempted, the command says which, and no definition leaves its file.
    void aFailingSwitchStopsTheRest()
    {
        ProfileHome h;
        h.run({"disable", "a"});
        h.run({"disable", "p", "--project", h.app});
        h.run({"disable", "r", "--project", h.zed});
        h.run({"profile", "save", "off"});
        h.run({"enable", "a"});
        h.run({"enable", "p", "--project", h.app});
        h.run({"enable", "r", "--project", h.zed});
        // A folder where the record must go: no write can replace it, not even as root.
        QVERIFY(QFile::remove(QuorlaneProjectConfig::sidecarPath(h.app)));
        QVERIFY(QDir().mkpath(QuorlaneProjectConfig::sidecarPath(h.app)));
        const json before = h.claudeJson();

        const TestHome::Run applied = h.quorlane({"profile", "apply", "off"});
        QCOMPARE(applied.exitCode, 1);
        QVERIFY(!applied.err.isEmpty());
        QVERIFY2(applied.out.contains("Switched off a (global)\n"), applied.out.constData());
        QVERIFY(
            applied.out.contains(QStringLiteral("Not switched off: p (project %1)\n").arg(h.app).toUtf8()));
        QVERIFY(
            applied.out.contains(QStringLiteral("Not switched off: r (project %1)\n").arg(h.zed).toUtf8()));
        json expected = before;
        expected["mcpServers"].erase("a");
        QCOMPARE_JSON(h.claudeJson(), expected);
        QVERIFY(TestHome::read(h.home.stash()).contains("run-a"));
    }

    // Two applies at once run one after the other: both succeed, and every definition ends up in
    // exactly one place, as one of the two profiles has it.
    void twoAppliesAtOnce()
    {
        ProfileHome h;
        h.run({"disable", "a"});
        h.run({"disable", "p", "--project", h.app});
        h.run({"profile", "save", "first"});
        h.run({"enable", "a"});
        h.run({"enable", "p", "--project", h.app});
        h.run({"disable", "b"});
        h.run({"disable", "c"});
        h.run({"profile", "save", "second"});

        QProcess one;
        QProcess two;
        for (QProcess *process : {&one, &two})
            process->setProcessEnvironment(h.home.environment());
        one.start(QStringLiteral(QUORLANE_BINARY), {"profile", "apply", "first"});
        two.start(QStringLiteral(QUORLANE_BINARY), {"profile", "apply", "second"});
        QVERIFY(one.waitForFinished(120000) && two.waitForFinished(120000));
        QVERIFY2(one.exitCode() == 0, one.readAllStandardError().constData());
        QVERIFY2(two.exitCode() == 0, two.readAllStandardError().constData());

        const json live = h.claudeJson()["mcpServers"];
        const QByteArray stash = TestHome::read(h.home.stash());
        for (const char *name : {"a", "b", "c"})
            QVERIFY2(live.contains(name) != stash.contains(QByteArray("run-") + name), name);
        const bool firstWon = !live.contains("a");
        QCOMPARE(live.contains("b"), firstWon);
        QCOMPARE(live.contains("c"), firstWon);
        const TestHome::Run listed = h.quorlane({"profile", "list", "--json"});
        const json profiles = json::parse(listed.out.toStdString())["profiles"];
        QVERIFY(profiles[firstWon ? 0 : 1]["switches"] == 0);
    }

    // A damaged file is reported and left as it is; a hostile name is printed escaped.
    void badFileAndHostileNames()
    {
        ProfileHome h;
        const QString hostile = QStringLiteral("web \"app\"\u202E");
        h.run({"profile", "save", hostile});
        const TestHome::Run listed = h.quorlane({"profile", "list"});
        QVERIFY2(listed.out.startsWith("web \"app\"\\u{202e}  saved "), listed.out.constData());
        h.run({"profile", "delete", hostile});
        QCOMPARE(h.quorlane({"profile", "show", hostile}).exitCode, 1);

        const QByteArray damaged = R"({"profiles":[{"name":"x"}]})";
        h.home.write(h.profiles(), damaged);
        for (const QStringList &arguments :
             {QStringList{"profile", "list"}, QStringList{"profile", "save", "y"}}) {
            const TestHome::Run run = h.quorlane(arguments);
            QCOMPARE(run.exitCode, 1);
            QVERIFY2(run.err.contains("could not be read"), run.err.constData());
        }
        QCOMPARE(TestHome::read(h.profiles()), damaged);
    }
};

QTEST_GUILESS_MAIN(TestProfileCommand)
#include "tst_profilecommand.moc"
