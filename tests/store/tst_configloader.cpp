// Loading every source: what is listed where, what counts as switched off, and that one broken
// source never takes the others down with it.
#include "TestHome.h"
#include "platform/PreferenceStore.h"
#include "store/ConfigLoader.h"
#include "store/MCPConfigService.h"
#include "store/QuorlaneProjectConfig.h"
#include "store/UntypedRewrite.h"

#include <nlohmann/json.hpp>

#include <QSignalSpy>
#include <QTest>

#include "platform/WaitFor.h"

namespace {

template<typename List, typename Field> QStringList column(const List &list, Field field)
{
    QStringList result;
    for (const auto &item : list)
        result << item.*field;
    return result;
}
QStringList names(const QList<MCPServerEntry> &entries)
{
    return column(entries, &MCPServerEntry::name);
}
QStringList paths(const QList<MCPProject> &projects)
{
    return column(projects, &MCPProject::path);
}
LoadResult load(const QStringList &excluded = {})
{
    return ConfigLoader::loadSnapshot(ConfigPaths::forCurrentUser(), excluded);
}

const QByteArray kClaudeJson =
    R"({"numStartups":4,"mcpServers":{"g1":{"command":"a"},"g2":{"url":"http:\/\/h/mcp"}},)"
    R"("projects":{"/w/app":{"mcpServers":{"p1":{"command":"b"}}}}})";
const QByteArray kStash =
    R"({"global":{"off":{"command":"e","custom":1}},"desktop":{"doff":{"command":"f"}}})";
const QByteArray kMcpJson = R"({"mcpServers":{"s":{"command":"x"}}})";

} // namespace

class TestConfigLoader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each row breaks or changes one source; everything the other sources contribute must still
    // be there, a live definition wins over a stashed twin, and a stashed one that does not decode
    // is hidden but still off.
    void brokenSourceContributesNothing_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("global");
        QTest::addColumn<QStringList>("desktop");
        QTest::addColumn<int>("projects");
        QTest::addColumn<QStringList>("disabled"); // sorted
        const QStringList all{"g1", "g2", "off"}, desktop{"d1", "doff"}, off{"doff", "off"}, none;
        // The desktop file and the stash are named here and located in the test's home.
        const QString claudeJson = ".claude.json", desktopFile = "@desktop", stash = "@stash";
        QTest::newRow("nothing broken") << "other.json" << QByteArray() << all << desktop << 2 << off;
        QTest::newRow("claude.json truncated")
            << claudeJson << kClaudeJson.left(40) << QStringList{"off"} << desktop << 1 << off;
        QTest::newRow("claude.json wrong type deep inside")
            << claudeJson
            << QByteArray(R"({"mcpServers":{},"projects":{"/x":{"mcpServers":{"y":{"args":"no"}}}}})")
            << QStringList{"off"} << desktop << 1 << off;
        QTest::newRow("desktop file lacks mcpServers")
            << desktopFile << QByteArray("{}") << all << QStringList{"doff"} << 2 << off;
        QTest::newRow("stash lacks desktop") << stash << QByteArray(R"({"global":{"off":{}}})")
                                             << QStringList{"g1", "g2"} << QStringList{"d1"} << 2 << none;
        QTest::newRow("scanned .mcp.json broken")
            << "Projects/scan/.mcp.json" << QByteArray("{\"mcpServers\":") << all << desktop << 1 << off;
        QTest::newRow("live wins over stashed twin")
            << stash << QByteArray(R"({"global":{"g1":{"command":"stashed"}},"desktop":{}})")
            << QStringList{"g1", "g2"} << QStringList{"d1"} << 2 << none;
        QTest::newRow("stashed definition with a wrong type")
            << stash << QByteArray(R"({"global":{"bad":{"env":{"A":2}}},"desktop":{}})")
            << QStringList{"g1", "g2"} << QStringList{"d1"} << 2 << QStringList{"bad"};
    }
    void brokenSourceContributesNothing()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QStringList, global);
        QFETCH(QStringList, desktop);
        QFETCH(int, projects);
        QFETCH(QStringList, disabled);
        TestHome home;
        home.write(".claude.json", kClaudeJson);
        home.write(home.desktopConfig(), R"({"mcpServers":{"d1":{"command":"c"}},"globalShortcut":"x"})");
        home.write(home.managedConfig(), R"({"mcpServers":{"m1":{"command":"d"}}})");
        home.write(home.stash(), kStash);
        home.write("Projects/scan/.mcp.json", kMcpJson);
        home.write(file == "@desktop" ? home.desktopConfig()
                   : file == "@stash" ? home.stash()
                                      : file,
                   content);

        const LoadResult result = load();
        QCOMPARE(names(result.global), global);
        QVERIFY(global.first() != "g1" || result.global.first().command == "a");
        QCOMPARE(names(result.desktop), desktop);
        QCOMPARE(names(result.managed), QStringList{"m1"});
        QCOMPARE(result.projects.size(), projects);
        QStringList off = column(result.disabledIDs, &GlobalServerID::name);
        off.sort();
        QCOMPARE(off, disabled);
        // Each stashed server is off in its own source.
        for (const GlobalServerID &id : result.disabledIDs)
            QVERIFY(id.source == (id.name == "doff" ? MCPSource::desktop : MCPSource::global));
    }

    // Phase A: projects of ~/.claude.json with servers; phase B: folders one level below ~ and
    // ~/Projects holding a .mcp.json.
    void projectDiscovery_data()
    {
        QTest::addColumn<QByteArray>("claudeJson");
        QTest::addColumn<QStringList>("mcpJsonFolders"); // relative to the home
        QTest::addColumn<QStringList>("excluded");
        QTest::addColumn<QStringList>("expected"); // relative to the home, sorted by last component
        const QByteArray withEmpty =
            R"({"projects":{"HOME/empty":{"mcpServers":{}},"HOME/a":{"mcpServers":{"x":{}}}}})";
        QTest::newRow("empty user-file project falls back to its .mcp.json")
            << withEmpty << QStringList{"empty"} << QStringList{} << QStringList{"a", "empty"};
        QTest::newRow("user-file project wins; its .mcp.json is not read")
            << withEmpty << QStringList{"a"} << QStringList{} << QStringList{"a"};
        QTest::newRow("two levels down is never scanned")
            << QByteArray("{}") << QStringList{"Projects/group/deep", "group/deep"} << QStringList{}
            << QStringList{};
        QTest::newRow("~/Projects itself is a candidate")
            << QByteArray("{}") << QStringList{"Projects", "Projects/one"} << QStringList{}
            << QStringList{"Projects", "Projects/one"};
        QTest::newRow("hidden folders are scanned")
            << QByteArray("{}") << QStringList{".dot"} << QStringList{} << QStringList{".dot"};
        QTest::newRow("excluded name hides both phases")
            << QByteArray(R"({"projects":{"/elsewhere/vendor":{"mcpServers":{"x":{}}}}})")
            << QStringList{"vendor", "Projects/vendor", "keep"} << QStringList{"vendor"}
            << QStringList{"keep"};
        QTest::newRow("trailing slash key is another project")
            << QByteArray(R"({"projects":{"HOME/t/":{"mcpServers":{"x":{}}}}})") << QStringList{"t"}
            << QStringList{} << QStringList{"t/", "t"};
        QTest::newRow("~/Projects before ~ when both hold the name")
            << QByteArray("{}") << QStringList{"Projects/dup", "dup"} << QStringList{}
            << QStringList{"Projects/dup", "dup"};
    }
    void projectDiscovery()
    {
        QFETCH(QByteArray, claudeJson);
        QFETCH(QStringList, mcpJsonFolders);
        QFETCH(QStringList, excluded);
        QFETCH(QStringList, expected);
        TestHome home;
        home.write(".claude.json", QByteArray(claudeJson).replace("HOME", home.path().toUtf8()));
        for (const QString &folder : mcpJsonFolders)
            home.write(folder + "/.mcp.json", kMcpJson);
        QStringList listed;
        for (const QString &path : paths(load(excluded).projects))
            listed << (path.startsWith(home.path()) ? path.mid(home.path().size() + 1) : path);
        QCOMPARE(listed, expected);
    }

    // Switched-off servers of user-file projects come from the sidecar; a live one wins over a
    // stale stashed twin, and a scanned project's sidecar is not read.
    void stashedProjectServersComeFromTheSidecar()
    {
        TestHome home;
        home.write(".claude.json", R"({"projects":{"/w/onlystashed":{"mcpServers":{}},)"
                                   R"("/w/both":{"mcpServers":{"live":{"command":"l"}}}}})");
        home.write("scanned/.mcp.json", kMcpJson);
        QuorlaneProjectConfig record;
        record.disabled = {"gone"};
        record.stashedConfigs.insert("gone", {RawJSON::fromText(nlohmann::json{{"command", "g"}}), {}});
        record.save("/w/onlystashed");
        record.save(home.path() + "/scanned");
        record.stashedConfigs.insert("live", {RawJSON::fromText(nlohmann::json{{"command", "stale"}}), {}});
        record.save("/w/both");

        const LoadResult result = load();
        QCOMPARE(paths(result.projects),
                 QStringList({"/w/both", "/w/onlystashed", home.path() + "/scanned"}));
        QCOMPARE(names(result.projects[0].servers), QStringList({"gone", "live"}));
        QCOMPARE(result.projects[0].servers[1].command, QStringLiteral("l"));
        QCOMPARE(names(result.projects[1].servers), QStringList({"gone"}));
        QCOMPARE(names(result.projects[2].servers), QStringList({"s"}));
    }

    void serviceReadsExcludedNamesAtEveryLoad()
    {
        TestHome home;
        home.write("alpha/.mcp.json", kMcpJson);
        MCPConfigService service;
        QSignalSpy loading(&service, &MCPConfigService::isLoadingChanged);
        Quorlane::waitFor(service.reload());
        QCOMPARE(service.projects().size(), 1);
        QCOMPARE(loading.count(), 2);
        QVERIFY(!service.isLoading() && !service.mutationIsLocked());
        PreferenceStore::open()->setValue("pref_excludedPaths", QStringList{"alpha"});
        Quorlane::waitFor(service.reload());
        QVERIFY(service.projects().isEmpty());
        // A value of another type counts as no exclusions.
        PreferenceStore::open()->setValue("pref_excludedPaths", QStringLiteral("alpha"));
        Quorlane::waitFor(service.reload());
        QCOMPARE(service.projects().size(), 1);
    }

    // What a switch tells the loader about the file it wrote, without reading it, is what a
    // reading of that file gives.
    void switchedViewMatchesTheFile_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("project");
        QTest::addColumn<QByteArray>("definition"); // empty: switched off
        const QByteArray file = R"({"mcpServers":{"x":{"command":"a"},"y":{"url":"u"}},"projects":{)"
                                R"("/w/b":{"mcpServers":{"x":{"command":"p"}}},"/w/a":{"mcpServers":null},)"
                                R"("/w/b":{"mcpServers":{"x":{"command":"q"}},"disabledMcpServers":["z"]}}})";
        QTest::newRow("global off") << file << QString() << QByteArray();
        QTest::newRow("global on") << file << QString() << QByteArray(R"({"command":"n","extra":[1]})");
        QTest::newRow("global on, not a definition") << file << QString() << QByteArray(R"({"env":{"A":1}})");
        QTest::newRow("project off, duplicated path") << file << "/w/b" << QByteArray();
        QTest::newRow("project on, null servers") << file << "/w/a" << QByteArray(R"({"command":"n"})");
        QTest::newRow("project on, new project") << file << "/w/new" << QByteArray(R"({"url":"v"})");
        QTest::newRow("on, no projects, no servers")
            << QByteArray(R"({"n":1})") << "/w/new" << QByteArray(R"({"command":"n"})");
    }

    void switchedViewMatchesTheFile()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, project);
        QFETCH(QByteArray, definition);
        auto rewrite = UntypedRewrite::parse(file);
        QVERIFY(rewrite);
        std::vector<std::string> path{"mcpServers", "x"};
        if (!project.isEmpty())
            path.insert(path.begin(), {"projects", project.toStdString()});
        std::optional<RawJSON> raw;
        if (definition.isEmpty()) {
            rewrite->remove(path);
        } else {
            raw = RawJSON::fromText(nlohmann::json::parse(definition.toStdString()));
            rewrite->set(path, *raw);
        }
        std::optional<ClaudeJson> view = ClaudeJson::decode(file);
        QVERIFY(ClaudeJson::applySwitch(view, project, QStringLiteral("x"), raw));
        // The rewrite sorts the projects; the order of the view is the file's.
        const auto byPath = [](std::optional<ClaudeJson> v) {
            if (v && v->projects)
                std::sort(v->projects->begin(), v->projects->end(),
                          [](const auto &a, const auto &b) { return a.first < b.first; });
            return v;
        };
        QVERIFY(byPath(view) == byPath(ClaudeJson::decode(rewrite->text(QStringLiteral("f")))));
    }

    // A large file's view is kept between loads while the file stays as it was; a rewrite in
    // place that keeps the size and sets the old time back is still seen.
    void largeFileIsReadAgainWhenRewrittenInPlace()
    {
        TestHome home;
        const QByteArray filler(400 * 1000, 'f');
        const auto text = [&](const char *name) {
            return "{\"mcpServers\":{\"" + QByteArray(name) + "\":{\"command\":\"c\"}},\"f\":\"" + filler +
                   "\"}";
        };
        home.write(".claude.json", text("aa"));
        QFile file(home.path() + "/.claude.json");
        const QDateTime old = QDateTime::currentDateTime().addSecs(-3600);
        QVERIFY(file.open(QIODevice::ReadWrite) && file.setFileTime(old, QFileDevice::FileModificationTime));
        QCOMPARE(names(load().global), QStringList{"aa"});
        QCOMPARE(names(load().global), QStringList{"aa"});
        QTest::qWait(30);
        QVERIFY(file.write(text("bb")) > 0 && file.flush());
        QVERIFY(file.setFileTime(old, QFileDevice::FileModificationTime));
        QCOMPARE(names(load().global), QStringList{"bb"});
    }
};

QTEST_GUILESS_MAIN(TestConfigLoader)
#include "tst_configloader.moc"
