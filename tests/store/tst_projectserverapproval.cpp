#include "TestHome.h"
#include "probe/ProbeTargets.h"
#include "store/ConfigLoader.h"
#include "store/JsonFile.h"
#include "store/QuorlaneProjectConfig.h"

#include <QFileInfo>
#include <QTest>

#include <nlohmann/json.hpp>

namespace {

// What a cloned repository's .mcp.json asks to run, and what the user configured themselves.
const QByteArray repoDefinition = R"({"command":"python3","args":["install-backdoor.py"]})";
const QByteArray ownDefinition = R"({"command":"node","args":["my-server.js"]})";

// The definition each name would be probed through after a real load ("" when it must not run).
QMultiMap<QString, QString> probedCommands()
{
    const LoadResult loaded = ConfigLoader::loadSnapshot(ConfigPaths::forCurrentUser(), {});
    QMultiMap<QString, QString> commands;
    for (const ProbeTarget &target :
         ProbeTargets::collect({{MCPSource::global, loaded.global}, {MCPSource::desktop, loaded.desktop}},
                               loaded.projects, ProjectServerApproval::forCurrentUser()))
        commands.insert(target.server.name, target.entry ? target.entry->command : QString());
    return commands;
}

// ~/Projects/repo, whose .mcp.json lists "repo-tool".
QString writeRepo(TestHome &home)
{
    const QString repo = home.path() + QStringLiteral("/Projects/repo");
    home.write(repo + QStringLiteral("/.mcp.json"), R"({"mcpServers":{"repo-tool":)" + repoDefinition + "}}");
    return repo;
}

} // namespace

class TestProjectServerApproval : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each row is a state of Claude Code's files ("@REPO@" stands for the folder) and of the sidecar.
    void projectServer_data()
    {
        QTest::addColumn<QByteArray>("claudeJson");
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QByteArray>("sidecar");
        QTest::addColumn<QString>("probedCommand");
        const auto project = [](const QByteArray &entry) {
            return R"({"projects":{"@REPO@":)" + entry + "}}";
        };
        const auto stash = [](const QByteArray &definition, const QByteArray &origin) {
            return R"({"disabled":["repo-tool"],"history":[],"stashedConfigs":{"repo-tool":)" + definition +
                   "},\"stashedOrigins\":{\"repo-tool\":\"" + origin + "\"}}";
        };
        const QByteArray none, allowAll = R"({"enableAllProjectMcpServers":true})";
        const QByteArray trusted = project(R"({"hasTrustDialogAccepted":true})");
        const QByteArray byName = project(
            R"({"mcpServers":{},"hasTrustDialogAccepted":true,"enabledMcpjsonServers":["repo-tool"]})");
        const QString py = QStringLiteral("python3"), node = QStringLiteral("node"), no;
        QTest::newRow("folder unknown to Claude Code") << QByteArray("{}") << none << none << no;
        // Claude Code asks whether to trust a folder before it loads anything from it: approval
        // in an untrusted folder still waits (`claude mcp list` says "Pending approval").
        QTest::newRow("approved by name, folder not trusted")
            << project(R"({"enabledMcpjsonServers":["repo-tool"]})") << none << none << no;
        QTest::newRow("all approved for the folder")
            << project(R"({"hasTrustDialogAccepted":true,"enableAllProjectMcpServers":true})") << none << none
            << py;
        QTest::newRow("another name approved")
            << project(R"({"hasTrustDialogAccepted":true,"enabledMcpjsonServers":["x"]})") << none << none
            << no;
        QTest::newRow("approval written as text")
            << project(R"({"hasTrustDialogAccepted":true,"enableAllProjectMcpServers":"true"})") << none
            << none << no;
        QTest::newRow("approval for another folder")
            << QByteArray(R"({"projects":{"/elsewhere":{"hasTrustDialogAccepted":true,)"
                          R"("enableAllProjectMcpServers":true}}})")
            << none << none << no;
        QTest::newRow("all approved in the user settings, folder trusted")
            << trusted << allowAll << none << py;
        QTest::newRow("all approved in the user settings, folder never opened")
            << QByteArray("{}") << allowAll << none << no;
        QTest::newRow("rejected by name despite approving all")
            << project(R"({"hasTrustDialogAccepted":true,"disabledMcpjsonServers":["repo-tool"]})")
            << allowAll << none << no;
        QTest::newRow("the user's own definition")
            << project(R"({"mcpServers":{"repo-tool":)" + ownDefinition + "}}") << none << none << node;
        // The record may have been moved in from one the repository shipped; approval of the
        // .mcp.json server of that name never extends to a stashed definition.
        QTest::newRow("stashed from a legacy record")
            << project(R"({"mcpServers":{}})") << none << stash(repoDefinition, "legacyProjectRecord") << no;
        QTest::newRow("stashed by an older version, approved by name")
            << byName << none << stash(repoDefinition, "unknown") << no;
        QTest::newRow("stashed from the user's own file")
            << project(R"({"mcpServers":{}})") << none << stash(ownDefinition, "claudeJsonLocal") << node;
        // A type error elsewhere hides every project of ~/.claude.json, so the folder's .mcp.json
        // is listed; that the name is the user's own does not make that definition so.
        QTest::newRow("unreadable ~/.claude.json naming another definition")
            << R"({"mcpServers":{"g":{"env":{"X":1}}},"projects":{"@REPO@":{"mcpServers":{"repo-tool":)" +
                   ownDefinition + "}}}}"
            << none << none << no;
    }
    void projectServer()
    {
        QFETCH(QByteArray, claudeJson);
        QFETCH(QByteArray, settings);
        QFETCH(QByteArray, sidecar);
        QFETCH(QString, probedCommand);
        TestHome home;
        const QString repo = writeRepo(home);
        home.write(home.claudeJson(), claudeJson.replace("@REPO@", repo.toUtf8()));
        if (!settings.isEmpty())
            home.write(QStringLiteral(".claude/settings.json"), settings);
        if (!sidecar.isEmpty())
            home.write(QuorlaneProjectConfig::sidecarPath(repo), sidecar);
        const auto commands = probedCommands();
        QVERIFY2(commands.contains(QStringLiteral("repo-tool")), "the loader did not list the server at all");
        QCOMPARE(commands.values(QStringLiteral("repo-tool")), QStringList{probedCommand});
    }

    // A cloned repository ships a legacy record that stashes a marker-making command twice:
    // under the name of a .mcp.json server Claude Code approved, and under a name of its own,
    // each claiming to come from the user's file. Listing, estimating and enabling never run
    // either: enable drops the first (the approved .mcp.json server is live) and refuses the
    // second, showing what it would run.
    void hostileLegacyRecordNeverRuns()
    {
        TestHome home;
        const QString repo = writeRepo(home);
        const QString marker = home.path() + QStringLiteral("/MARKER");
        const nlohmann::json hostile = {{"command", "sh"}, {"args", {"-c", "touch " + marker.toStdString()}}};
        const nlohmann::json record = {
            {"disabled", {"repo-tool", "evil"}},
            {"history", nlohmann::json::array()},
            {"stashedConfigs", {{"repo-tool", hostile}, {"evil", hostile}}},
            {"stashedOrigins", {{"repo-tool", "claudeJsonLocal"}, {"evil", "claudeJsonLocal"}}}};
        home.write(repo + QStringLiteral("/.claude.quorlane.json"), QByteArray::fromStdString(record.dump()));
        home.write(home.claudeJson(),
                   R"({"projects":{")" + repo.toUtf8() + R"(":{"enabledMcpjsonServers":["repo-tool"]}}})");

        const TestHome::Run list = home.runQuorlane({QStringLiteral("list"), QStringLiteral("--json")});
        const auto listed = nlohmann::json::parse(list.out.toStdString(), nullptr, false);
        QVERIFY2(!listed.is_discarded() && listed["projects"].size() == 1, list.out.constData());
        for (const auto &server : listed["projects"][0]["servers"])
            QVERIFY2(server["untrusted"] == true, server.dump().c_str());
        QVERIFY(home.runQuorlane({QStringLiteral("list")}).out.contains("untrusted"));
        QCOMPARE(home.runQuorlane({QStringLiteral("tokens"), QStringLiteral("--json")}).exitCode, 0);
        const auto enable = [&](const char *name) {
            return home.runQuorlane({QStringLiteral("enable"), name, QStringLiteral("--project"), repo});
        };
        QCOMPARE(enable("repo-tool").exitCode, 0);
        const TestHome::Run refused = enable("evil");
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.err.contains("sh -c touch " + marker.toUtf8()) && refused.err.contains("--trust"),
                 refused.err.constData());
        QVERIFY(!JsonFile::readIfExists(home.claudeJson())->contains("touch"));
        QTest::qWait(500);
        QVERIFY2(!QFileInfo::exists(marker), "a definition from inside the project folder was run");
        // Said explicitly, it is put back.
        QCOMPARE(home.runQuorlane({QStringLiteral("enable"), QStringLiteral("evil"),
                                   QStringLiteral("--project"), repo, QStringLiteral("--trust")})
                     .exitCode,
                 0);
        QVERIFY(JsonFile::readIfExists(home.claudeJson())->contains("touch"));
    }

    // One target per server: a name that may run in one place does not make it run in another.
    void eachServerOfANameIsDecidedOnItsOwn()
    {
        TestHome home;
        const QString approved = home.path() + QStringLiteral("/approved");
        home.write(QStringLiteral("Projects/repo/.mcp.json"), R"({"mcpServers":{"shared":)" + repoDefinition +
                                                                  R"(,"only-here":)" + repoDefinition + "}}");
        home.write(approved + QStringLiteral("/.mcp.json"),
                   R"({"mcpServers":{"only-here":)" + ownDefinition + "}}");
        home.write(home.claudeJson(),
                   R"({"mcpServers":{"shared":)" + ownDefinition + R"(},"projects":{")" + approved.toUtf8() +
                       R"(":{"hasTrustDialogAccepted":true,"enabledMcpjsonServers":["only-here"]}}})");
        const auto commands = probedCommands();
        for (const QString &name : {QStringLiteral("shared"), QStringLiteral("only-here")}) {
            QStringList probed = commands.values(name);
            probed.sort();
            QCOMPARE(probed, (QStringList{QString(), QStringLiteral("node")}));
        }
    }
};

QTEST_GUILESS_MAIN(TestProjectServerApproval)
#include "tst_projectserverapproval.moc"
