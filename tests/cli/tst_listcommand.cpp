// 'quorlane list' against files written by the real Claude Code CLI: every server must show up
// in the right place with the definition Claude Code stored.
#include "TestHome.h"

#include <QDir>
#include <QStandardPaths>
#include <QTest>

#include <nlohmann/json.hpp>

using nlohmann::json;

namespace {

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
        const TestHome::Run run = home.runQuorlane({QStringLiteral("list"), QStringLiteral("--json")});
        const json root = json::parse(run.out.toStdString(), nullptr, false);
        QVERIFY2(run.exitCode == 0 && !root.is_discarded(), run.err.constData());
        // Each definition whole, as Claude Code stored it (keys sorted).
        const auto definition = [&](const char *name) {
            const json *server = findServer(root["global"], name);
            return server && (*server)["enabled"] == true
                       ? QString::fromStdString((*server)["definition"].dump())
                       : QString();
        };
        QCOMPARE(definition("fs"),
                 QStringLiteral("{\"args\":[\"-y\",\"server-fs\",\"/tmp\"],\"command\":\"npx\","
                                "\"env\":{\"TOKEN\":\"abc\"},\"type\":\"stdio\"}"));
        QCOMPARE(definition("remote"),
                 QStringLiteral("{\"headers\":{\"Authorization\":\"Bearer x\"},\"type\":"
                                "\"http\",\"url\":\"http://127.0.0.1:9/mcp\"}"));

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
};

QTEST_GUILESS_MAIN(TestListCommand)
#include "tst_listcommand.moc"
