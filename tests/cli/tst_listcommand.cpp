// 'quorlane list' against files written by the real Claude Code CLI: every server must show up
// in the right place with the definition Claude Code stored, and a broken source must not hide
// the others.
#include "TestHome.h"
#include "cli/Cli.h"

#include <QDir>
#include <QStandardPaths>
#include <QTest>

#include <nlohmann/json.hpp>

using nlohmann::json;

namespace {

json runList(const TestHome &home)
{
    const TestHome::Run run = home.runQuorlane({QStringLiteral("list"), QStringLiteral("--json")});
    if (run.exitCode != 0)
        qWarning() << run.err;
    return json::parse(run.out.toStdString(), nullptr, false);
}

const json *findServer(const json &list, const std::string &name)
{
    for (const json &server : list)
        if (server["name"] == name)
            return &server;
    return nullptr;
}

const json *findProject(const json &root, const QString &path)
{
    for (const json &project : root["projects"])
        if (project["path"] == path.toStdString())
            return &project;
    return nullptr;
}

} // namespace

class TestListCommand : public QObject
{
    Q_OBJECT

private:
    QString m_claude;

    void claude(const TestHome &home, const QStringList &arguments, const QString &folder)
    {
        const TestHome::Run run = home.run(m_claude, arguments, folder, 60000);
        QVERIFY2(run.exitCode == 0, run.err.constData());
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_claude = QStandardPaths::findExecutable(QStringLiteral("claude"));
        QVERIFY2(!m_claude.isEmpty(), "the Claude Code CLI (npm @anthropic-ai/claude-code) is not on PATH");
    }

    void serversAddedByClaudeCodeAreListedInPlace()
    {
        TestHome home;
        const QString local = home.path() + QStringLiteral("/Projects/localapp");
        const QString shared = home.path() + QStringLiteral("/Projects/shared");
        QDir().mkpath(local);
        QDir().mkpath(shared);
        claude(home,
               {"mcp", "add", "-s", "user", "fs", "-e", "TOKEN=abc", "--", "npx", "-y", "server-fs", "/tmp"},
               home.path());
        claude(home,
               {"mcp", "add", "-s", "user", "--transport", "http", "remote", "http://127.0.0.1:9/mcp",
                "--header", "Authorization: Bearer x"},
               home.path());
        claude(home, {"mcp", "add", "-s", "local", "mem", "--", "node", "memory.js"}, local);
        claude(home, {"mcp", "add", "-s", "project", "team", "--", "uvx", "team-server"}, shared);

        home.write(home.managedConfig(), "{\"mcpServers\":{\"corp\":{\"command\":\"c\"}}}");
        const json root = runList(home);
        QVERIFY(!root.is_discarded());
        const json *fs = findServer(root["global"], "fs");
        QVERIFY(fs);
        QVERIFY((*fs)["enabled"] == true);
        QVERIFY((*fs)["definition"]["command"] == "npx");
        QVERIFY((*fs)["definition"]["args"] == json({"-y", "server-fs", "/tmp"}));
        QVERIFY((*fs)["definition"]["env"] == json({{"TOKEN", "abc"}}));
        const json *remote = findServer(root["global"], "remote");
        QVERIFY(remote);
        QVERIFY((*remote)["definition"]["url"] == "http://127.0.0.1:9/mcp");
        QVERIFY((*remote)["definition"]["headers"] == json({{"Authorization", "Bearer x"}}));
        QVERIFY(!(*remote)["definition"].contains("command"));

        const json *localProject = findProject(root, local);
        QVERIFY(localProject);
        QVERIFY(findServer((*localProject)["servers"], "mem"));
        // Written by Claude Code to .mcp.json, found by scanning ~/Projects.
        const json *sharedProject = findProject(root, shared);
        QVERIFY(sharedProject);
        QVERIFY((*findServer((*sharedProject)["servers"], "team"))["definition"]["command"] == "uvx");
        QVERIFY(root["desktop"].empty());
        // Managed servers cannot be switched, so they are always on.
        QVERIFY(root["managed"] ==
                json::parse(R"([{"name":"corp","enabled":true,"definition":{"command":"c"}}])"));
    }

    void brokenSourceStillListsTheRest()
    {
        TestHome home;
        home.write(QStringLiteral(".claude.json"), "{\"mcpServers\":{\"half");
        home.write(home.desktopConfig(), "{\"mcpServers\":{\"d\":{\"command\":\"x\"}}}");
        const TestHome::Run run = home.runQuorlane({QStringLiteral("list")});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.out.contains("Claude Desktop"));
        QVERIFY(run.out.contains("[on]  d  x"));
    }

    void usageAndHelp_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("expected"); // in stdout for 0, in stderr otherwise
        QTest::newRow("help") << QStringList{"--help"} << 0 << "Commands:";
        QTest::newRow("list help") << QStringList{"list", "--help"} << 0 << "--json";
        QTest::newRow("version") << QStringList{"--version"} << 0 << "quorlane " QUORLANE_VERSION "\n";
        QTest::newRow("unknown option") << QStringList{"list", "--yaml"} << 2 << "Unknown option";
        QTest::newRow("unknown command") << QStringList{"lsit"} << 2 << "unknown command";
    }
    void usageAndHelp()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, expected);
        TestHome home;
        QString out, err;
        QTextStream outStream(&out), errStream(&err);
        QCOMPARE(runCli(arguments, CliIO{outStream, errStream}), exitCode);
        QVERIFY2((exitCode == 0 ? out : err).contains(expected), qPrintable(out + err));
    }
};

QTEST_GUILESS_MAIN(TestListCommand)
#include "tst_listcommand.moc"
