#include "TestHome.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <nlohmann/json.hpp>

namespace {

const QByteArray kClaudeJson = R"({"mcpServers":{"x":{"command":"c","args":["a"]}},)"
                               R"("projects":{"/srv/app":{"mcpServers":{"p":{"command":"p"}}}}})";

nlohmann::json parsed(const QByteArray &bytes)
{
    return nlohmann::json::parse(bytes.toStdString(), nullptr, false);
}

// The state `list --json` gives the server in the folder ("absent" when it does not list it).
QString stateIn(const TestHome &home, const QString &folder, const std::string &name,
                const std::string &scope)
{
    const auto listed = parsed(home.runQuorlane({QStringLiteral("list"), QStringLiteral("--json")}).out);
    for (const auto &project : listed["projects"])
        if (project["path"] == folder.toStdString())
            for (const auto &load : project["loads"])
                if (load["name"] == name && load["scope"] == scope)
                    return QString::fromStdString(load["state"].get<std::string>());
    return QStringLiteral("absent");
}

// A .mcp.json server name that tries to break out of the JSON it is written into.
const std::string kHostileName = "evil\"],\"hasTrustDialogAccepted\":false,\"x\":[\"\\\n\u2603";

} // namespace

class TestToggleCommand : public QObject
{
    Q_OBJECT

    // A home the real claude CLI wrote: a user server; ~/code/app with a local server and
    // .mcp.json servers (one waiting, one with a hostile name approved), trusted as the
    // trust dialog and approval prompt record it; ~/Projects/other with a .mcp.json server in a
    // folder nobody trusted. Each test starts from the files as they were written.
    std::unique_ptr<TestHome> m_home;
    QString m_app, m_other;
    QHash<QString, QByteArray> m_written;
    nlohmann::ordered_json m_settings; // ~/code/app/.claude/settings.local.json

    void claude(const QStringList &arguments, const QString &folder)
    {
        const auto run = m_home->run(QStringLiteral("claude"), arguments, folder, 120000);
        QVERIFY2(run.exitCode == 0, run.err.constData());
    }
    [[nodiscard]] bool restoreClaudeHome()
    {
        for (auto it = m_written.cbegin(); it != m_written.cend(); ++it)
            m_home->write(it.key(), it.value());
        return QDir(m_other + "/.claude").removeRecursively() &&
               QDir(QFileInfo(m_home->stash()).absolutePath()).removeRecursively();
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("claude")).isEmpty())
            return;
        m_home = std::make_unique<TestHome>();
        m_app = m_home->path() + "/code/app";
        m_other = m_home->path() + "/Projects/other";
        QVERIFY(QDir().mkpath(m_app) && QDir().mkpath(m_other));
        for (const auto &[scope, name, folder] :
             QList<std::tuple<QString, QString, QString>>{{"user", "g1", m_home->path()},
                                                          {"local", "loc", m_app},
                                                          {"project", "pend", m_app},
                                                          {"project", "oth", m_other}})
            claude({"mcp", "add", "-s", scope, name, "--", "echo", name}, folder);
        // A name Claude Code's CLI would not take, written by hand.
        const QString mcpJson = m_app + "/.mcp.json";
        auto servers = parsed(TestHome::read(mcpJson));
        servers["mcpServers"][kHostileName] = {{"command", "echo"},
                                               {"args", nlohmann::json::array({"hostile"})}};
        m_home->write(mcpJson, QByteArray::fromStdString(servers.dump(2)));
        auto root = parsed(TestHome::read(m_home->claudeJson()));
        root["projects"][m_app.toStdString()]["hasTrustDialogAccepted"] = true;
        m_home->write(m_home->claudeJson(), QByteArray::fromStdString(root.dump(2)));
        // As the approval prompt writes it (JSON.stringify's layout), beside a permission.
        m_settings = {{"permissions", {{"allow", nlohmann::ordered_json::array({"Bash(ls:*)"})}}},
                      {"enabledMcpjsonServers", nlohmann::ordered_json::array({kHostileName})},
                      {"disabledMcpjsonServers", nlohmann::ordered_json::array({"rej"})}};
        m_home->write(m_app + "/.claude/settings.local.json", QByteArray::fromStdString(m_settings.dump(2)));
        for (const QString &path :
             {m_home->claudeJson(), mcpJson, m_other + "/.mcp.json", m_app + "/.claude/settings.local.json"})
            m_written.insert(path, TestHome::read(path));
    }

    // Off in one folder and on again: the folder's own server through Quorlane's record, any
    // other the way /mcp does it, by name in the folder's "disabledMcpServers". ~/.claude.json
    // keeps every other value and .mcp.json every byte.
    void switchInOneFolder_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("scope");
        QTest::newRow("user server") << "g1"
                                     << "user";
        QTest::newRow("hostile .mcp.json name") << QString::fromStdString(kHostileName) << "project";
        QTest::newRow("the folder's own server") << "loc"
                                                 << "local";
    }
    void switchInOneFolder()
    {
        QFETCH(QString, name);
        QFETCH(QString, scope);
        if (!m_home)
            QSKIP("the claude CLI is not installed (scripts/setup.sh installs it)");
        QVERIFY(restoreClaudeHome());
        const std::string key = name.toStdString(), folder = m_app.toStdString();
        const bool own = scope == u"local";
        const auto before = parsed(TestHome::read(m_home->claudeJson()));
        const QStringList where{QStringLiteral("--project"), m_app};

        const TestHome::Run off = m_home->runQuorlane(QStringList{QStringLiteral("disable"), name} + where);
        QVERIFY2(off.exitCode == 0, off.err.constData());
        QCOMPARE(stateIn(*m_home, m_app, key, scope.toStdString()), own ? "off" : "offInClaudeCode");
        auto expected = before;
        if (own)
            expected["projects"][folder]["mcpServers"].erase(key);
        else
            expected["projects"][folder]["disabledMcpServers"] = nlohmann::json::array({key});
        QVERIFY(parsed(TestHome::read(m_home->claudeJson())) == expected);
        QCOMPARE(stateIn(*m_home, m_other, "g1", "user"), QStringLiteral("on")); // in every other folder

        const TestHome::Run on = m_home->runQuorlane(QStringList{QStringLiteral("enable"), name} + where);
        QVERIFY2(on.exitCode == 0, on.err.constData());
        QCOMPARE(stateIn(*m_home, m_app, key, scope.toStdString()), QStringLiteral("on"));
        if (own)
            expected = before;
        else
            expected["projects"][folder]["disabledMcpServers"] = nlohmann::json::array();
        QVERIFY(parsed(TestHome::read(m_home->claudeJson())) == expected);
        for (const QString &mcpJson : {m_app + "/.mcp.json", m_other + "/.mcp.json"})
            QCOMPARE(TestHome::read(mcpJson), m_written.value(mcpJson));
    }

    // Switching on a .mcp.json server Claude Code has not approved approves it, with --trust
    // only, where its approval prompt writes; the folder's trust is never written. Claude Code
    // itself then loads it, or still asks about the folder.
    void approveOnlyWithTrust_data()
    {
        QTest::addColumn<bool>("inApp");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("stateAfter");
        QTest::newRow("waiting, trusted folder") << true << "pend"
                                                 << "on";
        QTest::newRow("folder not trusted") << false << "oth"
                                            << "awaitingApproval";
    }
    void approveOnlyWithTrust()
    {
        QFETCH(bool, inApp);
        QFETCH(QString, name);
        QFETCH(QString, stateAfter);
        if (!m_home)
            QSKIP("the claude CLI is not installed (scripts/setup.sh installs it)");
        QVERIFY(restoreClaudeHome());
        const QString folder = inApp ? m_app : m_other;
        const QString settings = folder + "/.claude/settings.local.json";
        const QByteArray claudeJson = TestHome::read(m_home->claudeJson());
        const QStringList enable{QStringLiteral("enable"), name, QStringLiteral("--project"), folder};

        const TestHome::Run refused = m_home->runQuorlane(enable);
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.err.contains("echo " + name.toUtf8()) && refused.err.contains("--trust"),
                 refused.err.constData());
        QCOMPARE(QFileInfo::exists(settings), inApp);
        QCOMPARE(TestHome::read(m_home->claudeJson()), claudeJson);

        const TestHome::Run trusted = m_home->runQuorlane(enable + QStringList{QStringLiteral("--trust")});
        QVERIFY2(trusted.exitCode == 0, trusted.err.constData());
        QVERIFY2(trusted.out.contains("echo " + name.toUtf8()), trusted.out.constData());
        // Spliced in: the rest of the file keeps its keys, order and layout.
        nlohmann::ordered_json expected = inApp ? m_settings : nlohmann::ordered_json::object();
        expected["enabledMcpjsonServers"].push_back(name.toStdString());
        QCOMPARE(TestHome::read(settings), QByteArray::fromStdString(expected.dump(2)) + (inApp ? "" : "\n"));
        QCOMPARE(TestHome::read(m_home->claudeJson()), claudeJson);
        QCOMPARE(stateIn(*m_home, folder, name.toStdString(), "project"), stateAfter);
        const auto listedByClaude = m_home->run(QStringLiteral("claude"), {"mcp", "list"}, folder, 120000);
        const auto line = listedByClaude.out.mid(listedByClaude.out.indexOf("\n" + name.toUtf8() + ": "));
        QCOMPARE(line.left(line.indexOf('\n', 1)).contains("Pending approval"),
                 stateAfter == QLatin1String("awaitingApproval"));
    }

    // Help on stdout with exit 0; a usage error on stderr with exit 2. Nothing changes.
    void usageAndHelp_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("expected");
        QTest::newRow("help") << QStringList{"--help"} << 0 << "Commands:";
        QTest::newRow("version") << QStringList{"--version"} << 0 << "quorlane " QUORLANE_VERSION "\n";
        QTest::newRow("unknown option") << QStringList{"list", "--yaml"} << 2 << "Unknown option";
        QTest::newRow("unknown command") << QStringList{"lsit"} << 2 << "unknown command";
        QTest::newRow("disable without a name") << QStringList{"disable"} << 2 << "--help";
        QTest::newRow("enable with two names") << QStringList{"enable", "a", "b"} << 2 << "--help";
        QTest::newRow("both sources")
            << QStringList{"disable", "x", "--desktop", "--project", "/srv/app"} << 2 << "--help";
        QTest::newRow("project without a path") << QStringList{"disable", "x", "--project"} << 2 << "--help";
        QTest::newRow("watch with an argument") << QStringList{"watch", "now"} << 2 << "--help";
    }
    void usageAndHelp()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, expected);
        TestHome home;
        home.write(home.claudeJson(), kClaudeJson);
        const TestHome::Run run = home.runQuorlane(arguments);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2((exitCode == 0 ? run.out : run.err).contains(expected.toUtf8()),
                 (run.out + run.err).constData());
        QCOMPARE(TestHome::read(home.claudeJson()), kClaudeJson);
    }

    // A failure prints the error's description alone on stderr and exits 1; nothing changes.
    void failuresPrintTheDescriptionAlone_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("stderr");
        QTest::newRow("unknown global server")
            << QStringList{QStringLiteral("disable"), QStringLiteral("nope")}
            << QStringLiteral("MCP server \u2018nope\u2019 was not found.\n");
        QTest::newRow("missing Claude Desktop file")
            << QStringList{QStringLiteral("disable"), QStringLiteral("x"), QStringLiteral("--desktop")}
            << QStringLiteral("The MCP configuration could not be read.\n");
        QTest::newRow("unknown project")
            << QStringList{QStringLiteral("disable"), QStringLiteral("p"), QStringLiteral("--project"),
                           QStringLiteral("/srv/none")}
            << QStringLiteral(
                   "MCP server \u2018p\u2019 was not switched: /srv/none is not a project folder Quorlane "
                   "knows ('quorlane list' shows them: folders with MCP servers of their own or "
                   "switched off there, and folders under ~ and ~/Projects with a .mcp.json).\n");
    }
    void failuresPrintTheDescriptionAlone()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, stderr);
        TestHome home;
        home.write(home.claudeJson(), kClaudeJson);
        const TestHome::Run run = home.runQuorlane(arguments);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(QString::fromUtf8(run.err), stderr);
        QVERIFY(run.out.isEmpty());
        QCOMPARE(TestHome::read(home.claudeJson()), kClaudeJson);
    }

    // Claude Code writes ~/.claude.json without waiting for its lock. A writer that rewrites it
    // every 20 ms loses none of its writes to switches in a folder, and the folder ends as it was
    // last switched (a write that read the file before a switch and landed after it is redone).
    void switchInOneFolderWhileClaudeWrites()
    {
        TestHome home;
        home.write(home.claudeJson(), kClaudeJson);
        QProcess writer;
        writer.setProcessEnvironment(home.environment());
        writer.start(QStringLiteral(RACING_WRITER),
                     {home.claudeJson(), QStringLiteral("20"), QStringLiteral("4000")});
        QVERIFY(writer.waitForStarted(30000));
        bool off = false;
        int switches = 0;
        // waitForFinished(0) lets the writer's end be noticed without an event loop turning here.
        while (writer.state() == QProcess::Running && !writer.waitForFinished(0)) {
            off = !off;
            const TestHome::Run run = home.runQuorlane(
                {off ? QStringLiteral("disable") : QStringLiteral("enable"), QStringLiteral("x"),
                 QStringLiteral("--project"), QStringLiteral("/srv/app")});
            QVERIFY2(run.exitCode == 0, run.err.constData());
            ++switches;
        }
        QVERIFY(writer.state() == QProcess::NotRunning || writer.waitForFinished(30000));
        const int written = writer.readAllStandardOutput().trimmed().toInt();
        const auto after = parsed(TestHome::read(home.claudeJson()));
        qInfo("%d switches, %d writes of the other program", switches, written);
        QVERIFY(switches >= 4 && written > 0);
        QCOMPARE(int(after["racer"].size()), written);
        const auto &listed = after["projects"]["/srv/app"]["disabledMcpServers"];
        QCOMPARE(std::find(listed.begin(), listed.end(), "x") != listed.end(), off);
        QVERIFY(after["mcpServers"].contains("x") &&
                after["projects"]["/srv/app"]["mcpServers"].contains("p"));
        QVERIFY(!QFileInfo::exists(home.claudeJson() + ".lock"));
    }

    void watchPrintsOneLinePerSettledChange()
    {
        TestHome home;
        home.write(home.claudeJson(), kClaudeJson);
        QProcess watch;
        watch.setProcessEnvironment(home.environment());
        watch.start(QStringLiteral(QUORLANE_BINARY), {QStringLiteral("watch")});
        QVERIFY(watch.waitForStarted(30000));
        // The paths are announced on stderr once the watches are armed.
        QByteArray announced;
        QTRY_VERIFY_WITH_TIMEOUT((announced += watch.readAllStandardError()).contains("watching"), 30000);
        QTest::qWait(200);
        QByteArray out;
        home.write(home.claudeJson(), "{}");
        home.write(home.claudeJson(), "{ }");
        QTRY_VERIFY_WITH_TIMEOUT((out += watch.readAllStandardOutput()).count('\n') == 1, 20000);
        QVERIFY(out.endsWith(" configuration changed\n"));
        watch.terminate();
        QVERIFY(watch.waitForFinished(30000));
    }
};

QTEST_GUILESS_MAIN(TestToggleCommand)
#include "tst_togglecommand.moc"
