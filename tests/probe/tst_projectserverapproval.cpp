#include "TestHome.h"
#include "probe/ProbeTargets.h"
#include "store/ConfigLoader.h"
#include "store/QuorlaneProjectConfig.h"

#include <QTest>

#include <nlohmann/json.hpp>

namespace {

QByteArray bytes(const nlohmann::json &value)
{
    return QByteArray::fromStdString(value.dump());
}

// What the repository's .mcp.json asks to run.
const nlohmann::json repoDefinition = {{"command", "python3"}, {"args", {"install-backdoor.py"}}};
// What the user configured for the same name through Claude Code.
const nlohmann::json ownDefinition = {{"command", "node"}, {"args", {"my-server.js"}}};

// Every target, after a real load of the home's files.
QList<ProbeTarget> loadTargets()
{
    const LoadResult loaded = ConfigLoader::loadSnapshot(ConfigPaths::forCurrentUser(), {});
    return ProbeTargets::collect(loaded.global + loaded.desktop, loaded.projects,
                                 ProjectServerApproval::forCurrentUser());
}

std::optional<ProbeTarget> targetNamed(const QList<ProbeTarget> &targets, const QString &name)
{
    for (const ProbeTarget &target : targets) {
        if (target.name == name)
            return target;
    }
    return std::nullopt;
}

} // namespace

class TestProjectServerApproval : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // One repository folder ~/Projects/repo whose .mcp.json lists "repo-tool"; each row is a
    // state of Claude Code's files. `probe`: the server may be started (and with what).
    void projectServer_data()
    {
        QTest::addColumn<QByteArray>("claudeJson");
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QByteArray>("sidecar");
        QTest::addColumn<QString>("probedCommand"); // empty: must not be probed
        // "@REPO@" stands for the folder's path in the row's home.
        const auto project = [](const nlohmann::json &entry) {
            return bytes({{"projects", {{"@REPO@", entry}}}});
        };
        QTest::newRow("folder unknown to Claude Code")
            << QByteArray("{}") << QByteArray() << QByteArray() << QString();
        QTest::newRow("project entry with no servers of its own (listed from .mcp.json)")
            << project({{"mcpServers", nlohmann::json::object()}}) << QByteArray() << QByteArray()
            << QString();
        QTest::newRow("approved by name")
            << project({{"mcpServers", nlohmann::json::object()}, {"enabledMcpjsonServers", {"repo-tool"}}})
            << QByteArray() << QByteArray() << QStringLiteral("python3");
        QTest::newRow("all project servers approved for the folder")
            << project({{"enableAllProjectMcpServers", true}}) << QByteArray() << QByteArray()
            << QStringLiteral("python3");
        QTest::newRow("another name approved") << project({{"enabledMcpjsonServers", {"other-tool"}}})
                                               << QByteArray() << QByteArray() << QString();
        QTest::newRow("approval written as text")
            << project({{"enableAllProjectMcpServers", "true"}}) << QByteArray() << QByteArray() << QString();
        QTest::newRow("approval for another folder")
            << bytes({{"projects", {{"/somewhere/else", {{"enableAllProjectMcpServers", true}}}}}})
            << QByteArray() << QByteArray() << QString();
        QTest::newRow("all project servers approved in the user settings")
            << QByteArray("{}") << bytes({{"enableAllProjectMcpServers", true}}) << QByteArray()
            << QStringLiteral("python3");
        QTest::newRow("user settings say false")
            << QByteArray("{}") << bytes({{"enableAllProjectMcpServers", false}}) << QByteArray()
            << QString();
        QTest::newRow("rejected by name despite approving all")
            << project({{"disabledMcpjsonServers", {"repo-tool"}}})
            << bytes({{"enableAllProjectMcpServers", true}}) << QByteArray() << QString();
        QTest::newRow("the user's own definition (the .mcp.json is not read)")
            << project({{"mcpServers", {{"repo-tool", ownDefinition}}}}) << QByteArray() << QByteArray()
            << QStringLiteral("node");
        // The sidecar may have been moved in from a record the repository shipped.
        QTest::newRow("a definition stashed in the sidecar record")
            << project({{"mcpServers", nlohmann::json::object()}}) << QByteArray()
            << bytes({{"disabled", {"repo-tool"}},
                      {"history", nlohmann::json::array()},
                      {"stashedConfigs", {{"repo-tool", repoDefinition}}}})
            << QString();
        QTest::newRow("stashed, and approved by name")
            << project({{"mcpServers", nlohmann::json::object()}, {"enabledMcpjsonServers", {"repo-tool"}}})
            << QByteArray()
            << bytes({{"disabled", {"repo-tool"}},
                      {"history", nlohmann::json::array()},
                      {"stashedConfigs", {{"repo-tool", ownDefinition}}}})
            << QStringLiteral("node");
        // A type error elsewhere hides every project of ~/.claude.json from the loader, so the
        // folder's .mcp.json is listed; that its name is the user's own does not make its
        // definition so.
        QTest::newRow("unreadable ~/.claude.json naming another definition")
            << bytes({{"mcpServers", {{"g", {{"env", {{"X", 1}}}}}}},
                      {"projects", {{"@REPO@", {{"mcpServers", {{"repo-tool", ownDefinition}}}}}}}})
            << QByteArray() << QByteArray() << QString();
    }
    void projectServer()
    {
        QFETCH(QByteArray, claudeJson);
        QFETCH(QByteArray, settings);
        QFETCH(QByteArray, sidecar);
        QFETCH(QString, probedCommand);
        TestHome home;
        const QString repo = home.path() + QStringLiteral("/Projects/repo");
        home.write(QStringLiteral("Projects/repo/.mcp.json"),
                   bytes({{"mcpServers", {{"repo-tool", repoDefinition}}}}));
        home.write(home.claudeJson(), QByteArray(claudeJson).replace("@REPO@", repo.toUtf8()));
        if (!settings.isEmpty())
            home.write(QStringLiteral(".claude/settings.json"), settings);
        if (!sidecar.isEmpty())
            home.write(QuorlaneProjectConfig::sidecarPath(repo), sidecar);

        const auto target = targetNamed(loadTargets(), QStringLiteral("repo-tool"));
        QVERIFY2(target, "the loader did not list the server at all");
        QCOMPARE(target->entry.has_value(), !probedCommand.isEmpty());
        if (target->entry)
            QCOMPARE(target->entry->command, probedCommand);
    }

    void legacyRecordInsideTheFolderIsNotTrusted_data()
    {
        QTest::addColumn<QByteArray>("claudeJson");
        QTest::newRow("folder unknown to Claude Code") << QByteArray("{}");
        // Here the loader reads the record, moves it to the sidecar and lists its stash.
        QTest::newRow("folder Claude Code knows")
            << QByteArray(R"({"projects":{"@REPO@":{"mcpServers":{}}}})");
    }
    void legacyRecordInsideTheFolderIsNotTrusted()
    {
        // A record the repository ships cannot vouch for its own servers.
        QFETCH(QByteArray, claudeJson);
        TestHome home;
        const QString repo = home.path() + QStringLiteral("/Projects/repo");
        home.write(QStringLiteral("Projects/repo/.mcp.json"),
                   bytes({{"mcpServers", {{"repo-tool", repoDefinition}}}}));
        home.write(QStringLiteral("Projects/repo/.claude.quorlane.json"),
                   bytes({{"disabled", nlohmann::json::array()},
                          {"history", nlohmann::json::array()},
                          {"stashedConfigs", {{"repo-tool", repoDefinition}}}}));
        home.write(home.claudeJson(), claudeJson.replace("@REPO@", repo.toUtf8()));
        const auto target = targetNamed(loadTargets(), QStringLiteral("repo-tool"));
        QVERIFY(target);
        QVERIFY(!target->entry);
    }

    void aNameIsProbedThroughADefinitionThatMayRun()
    {
        TestHome home;
        const QString repo = home.path() + QStringLiteral("/Projects/repo");
        const QString approved = home.path() + QStringLiteral("/approved");
        home.write(QStringLiteral("Projects/repo/.mcp.json"),
                   bytes({{"mcpServers", {{"shared", repoDefinition}, {"only-here", repoDefinition}}}}));
        home.write(QStringLiteral("approved/.mcp.json"),
                   bytes({{"mcpServers", {{"only-here", ownDefinition}}}}));
        nlohmann::json claudeJson;
        claudeJson["mcpServers"]["shared"] = ownDefinition;
        claudeJson["projects"][approved.toStdString()]["enabledMcpjsonServers"] = {"only-here"};
        home.write(home.claudeJson(), bytes(claudeJson));
        const QList<ProbeTarget> targets = loadTargets();
        // One target per name.
        QCOMPARE(targets.size(), 2);
        const auto shared = targetNamed(targets, QStringLiteral("shared"));
        QVERIFY(shared && shared->entry);
        QCOMPARE(shared->entry->command, QStringLiteral("node"));
        // "approved" sorts before "repo", but order does not decide: only the approved
        // definition may run.
        const auto onlyHere = targetNamed(targets, QStringLiteral("only-here"));
        QVERIFY(onlyHere && onlyHere->entry);
        QCOMPARE(onlyHere->entry->command, QStringLiteral("node"));
    }
};

QTEST_GUILESS_MAIN(TestProjectServerApproval)
#include "tst_projectserverapproval.moc"
