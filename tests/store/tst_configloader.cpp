// Loading every source: what is listed where, what counts as switched off, and that one broken
// source never takes the others down with it.
#include "TestHome.h"
#include "platform/PreferenceStore.h"
#include "store/ConfigLoader.h"
#include "store/MCPConfigService.h"
#include "store/QuorlaneProjectConfig.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "app/WaitFor.h"

namespace {

QStringList names(const QList<MCPServerEntry> &entries)
{
    QStringList result;
    for (const auto &entry : entries)
        result << entry.name;
    return result;
}

QStringList paths(const QList<MCPProject> &projects)
{
    QStringList result;
    for (const auto &project : projects)
        result << project.path;
    return result;
}

LoadResult load(const QStringList &excluded = {})
{
    return ConfigLoader::loadSnapshot(ConfigPaths::forCurrentUser(), excluded);
}

const QByteArray kClaudeJson =
    "{\"numStartups\":4,\"mcpServers\":{\"g1\":{\"command\":\"a\"},\"g2\":{\"url\":\"http:\\/\\/h/mcp\"}},\n"
    "    \"projects\":{\"/w/app\":{\"mcpServers\":{\"p1\":{\"command\":\"b\"}}}}}";
const QByteArray kDesktop = "{\"mcpServers\":{\"d1\":{\"command\":\"c\"}},\"globalShortcut\":\"x\"}";
const QByteArray kManaged = "{\"mcpServers\":{\"m1\":{\"command\":\"d\"}}}";
const QByteArray kStash =
    "{\"global\":{\"off\":{\"command\":\"e\",\"custom\":1}},\"desktop\":{\"doff\":{\"command\":\"f\"}}}";

} // namespace

class TestConfigLoader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void noFilesAtAll()
    {
        TestHome home;
        QCOMPARE(load(), LoadResult{});
    }

    void everySourceInItsPlace()
    {
        TestHome home;
        home.write(QStringLiteral(".claude.json"), kClaudeJson);
        home.write(home.desktopConfig(), kDesktop);
        home.write(home.managedConfig(), kManaged);
        home.write(home.stash(), kStash);
        const LoadResult result = load();
        QCOMPARE(names(result.global), QStringList({"g1", "g2", "off"}));
        QCOMPARE(names(result.desktop), QStringList({"d1", "doff"}));
        QCOMPARE(names(result.managed), QStringList({"m1"}));
        QCOMPARE(paths(result.projects), QStringList({"/w/app"}));
        QCOMPARE(result.disabledIDs,
                 QSet<GlobalServerID>({{"off", MCPSource::global}, {"doff", MCPSource::desktop}}));
        QCOMPARE(result.projects[0].source, MCPSource::project);
        QVERIFY(result.projects[0].isEnabled);
    }

    // Each row breaks one source; everything the other sources contribute must still be there.
    void brokenSourceContributesNothing_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("global");
        QTest::addColumn<QStringList>("desktop");
        QTest::addColumn<int>("projects");
        QTest::addColumn<int>("disabled");
        const QStringList all{"g1", "g2", "off"};
        QTest::newRow("claude.json truncated") << ".claude.json" << kClaudeJson.left(40) << QStringList{"off"}
                                               << QStringList{"d1", "doff"} << 1 << 2;
        QTest::newRow("claude.json not UTF-8")
            << ".claude.json" << QByteArray("{\"mcpServers\":{\"\xff\":{}}}") << QStringList{"off"}
            << QStringList{"d1", "doff"} << 1 << 2;
        QTest::newRow("claude.json wrong type deep inside")
            << ".claude.json"
            << QByteArray("{\"mcpServers\":{\"g1\":{\"command\":\"a\"}},\"projects\":{\"/"
                          "x\":{\"mcpServers\":{\"y\":{\"args\":\"no\"}}}}}")
            << QStringList{"off"} << QStringList{"d1", "doff"} << 1 << 2;
        QTest::newRow("claude.json is a folder") << ".claude.json/inner" << QByteArray("{}")
                                                 << QStringList{"off"} << QStringList{"d1", "doff"} << 1 << 2;
        QTest::newRow("desktop file broken") << ".config/Claude/claude_desktop_config.json"
                                             << QByteArray("{\"mcp") << all << QStringList{"doff"} << 2 << 2;
        QTest::newRow("desktop file lacks mcpServers")
            << ".config/Claude/claude_desktop_config.json" << QByteArray("{}") << all << QStringList{"doff"}
            << 2 << 2;
        QTest::newRow("stash broken") << ".config/Quorlane/disabled-global-mcps.json" << QByteArray("[]")
                                      << QStringList{"g1", "g2"} << QStringList{"d1"} << 2 << 0;
        QTest::newRow("stash lacks desktop")
            << ".config/Quorlane/disabled-global-mcps.json" << QByteArray("{\"global\":{\"off\":{}}}")
            << QStringList{"g1", "g2"} << QStringList{"d1"} << 2 << 0;
        QTest::newRow("scanned .mcp.json broken")
            << "Projects/scan/.mcp.json" << QByteArray("{\"mcpServers\":") << all << QStringList{"d1", "doff"}
            << 1 << 2;
    }
    void brokenSourceContributesNothing()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QStringList, global);
        QFETCH(QStringList, desktop);
        QFETCH(int, projects);
        QFETCH(int, disabled);
        TestHome home;
        home.write(QStringLiteral(".claude.json"), kClaudeJson);
        home.write(home.desktopConfig(), kDesktop);
        home.write(home.managedConfig(), kManaged);
        home.write(home.stash(), kStash);
        home.write(QStringLiteral("Projects/scan/.mcp.json"), "{\"mcpServers\":{\"s\":{\"command\":\"x\"}}}");
        if (file.endsWith(QLatin1String("/inner")))
            QFile::remove(home.claudeJson());
        home.write(file, content);

        const LoadResult result = load();
        QCOMPARE(names(result.global), global);
        QCOMPARE(names(result.desktop), desktop);
        QCOMPARE(names(result.managed), QStringList{"m1"});
        QCOMPARE(result.projects.size(), projects);
        QCOMPARE(result.disabledIDs.size(), disabled);
    }

    void stashMerging_data()
    {
        QTest::addColumn<QByteArray>("stash");
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QStringList>("disabled");
        QTest::addColumn<QString>("g1Command");
        QTest::newRow("live wins over stashed twin")
            << QByteArray("{\"global\":{\"g1\":{\"command\":\"stashed\"}},\"desktop\":{}}")
            << QStringList{"g1", "g2"} << QStringList{} << "a";
        QTest::newRow("non-object stash member is hidden but off")
            << QByteArray("{\"global\":{\"weird\":\"text\"},\"desktop\":{}}") << QStringList{"g1", "g2"}
            << QStringList{"weird"} << "a";
        QTest::newRow("stashed definition with a wrong type is hidden but off")
            << QByteArray("{\"global\":{\"bad\":{\"env\":{\"A\":2}}},\"desktop\":{}}")
            << QStringList{"g1", "g2"} << QStringList{"bad"} << "a";
        QTest::newRow("unknown members do not stop listing")
            << QByteArray("{\"global\":{\"z\":{\"command\":\"q\",\"timeout\":3}},\"desktop\":{}}")
            << QStringList{"g1", "g2", "z"} << QStringList{"z"} << "a";
    }
    void stashMerging()
    {
        QFETCH(QByteArray, stash);
        QFETCH(QStringList, listed);
        QFETCH(QStringList, disabled);
        QFETCH(QString, g1Command);
        TestHome home;
        home.write(QStringLiteral(".claude.json"), kClaudeJson);
        home.write(home.stash(), stash);
        const LoadResult result = load();
        QCOMPARE(names(result.global), listed);
        QCOMPARE(result.global[0].command, g1Command);
        QStringList off;
        for (const auto &id : result.disabledIDs)
            off << id.name;
        QCOMPARE(off, disabled);
    }

    void sameNameInUserAndDesktopFilesIsTwoServers()
    {
        TestHome home;
        home.write(QStringLiteral(".claude.json"), "{\"mcpServers\":{\"same\":{\"command\":\"a\"}}}");
        home.write(home.desktopConfig(), "{\"mcpServers\":{\"same\":{\"command\":\"b\"}}}");
        home.write(home.stash(), "{\"global\":{},\"desktop\":{\"same\":{\"command\":\"old\"}}}");
        const LoadResult result = load();
        QCOMPARE(result.global[0].command, QStringLiteral("a"));
        QCOMPARE(result.desktop[0].command, QStringLiteral("b"));
        QVERIFY(result.disabledIDs.isEmpty());
    }

    // A stashed managed-looking entry must not appear: the managed file is never merged.
    void managedFileIsReadOnlyAndNeverMerged()
    {
        TestHome home;
        home.write(home.managedConfig(), kManaged);
        home.write(home.stash(), "{\"global\":{},\"desktop\":{},\"managed\":{\"m2\":{}}}");
        const LoadResult result = load();
        QCOMPARE(names(result.managed), QStringList{"m1"});
        QVERIFY(result.disabledIDs.isEmpty());
    }

    void projectDiscovery_data()
    {
        QTest::addColumn<QByteArray>("claudeJson");
        QTest::addColumn<QStringList>("mcpJsonFolders"); // relative to the home
        QTest::addColumn<QStringList>("excluded");
        QTest::addColumn<QStringList>("expected"); // relative to the home, sorted by last component
        const QByteArray withEmpty = "{\"projects\":{\"HOME/empty\":{\"mcpServers\":{}},\"HOME/"
                                     "a\":{\"mcpServers\":{\"x\":{\"command\":\"c\"}}}}}";
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
            << QByteArray("{\"projects\":{\"/elsewhere/vendor\":{\"mcpServers\":{\"x\":{}}}}}")
            << QStringList{"vendor", "Projects/vendor", "keep"} << QStringList{"vendor"}
            << QStringList{"keep"};
        QTest::newRow("exclusion is case-sensitive")
            << QByteArray("{}") << QStringList{"Vendor"} << QStringList{"vendor"} << QStringList{"Vendor"};
        QTest::newRow("trailing slash key is another project")
            << QByteArray("{\"projects\":{\"HOME/t/\":{\"mcpServers\":{\"x\":{}}}}}") << QStringList{"t"}
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
        home.write(QStringLiteral(".claude.json"),
                   QByteArray(claudeJson).replace("HOME", home.path().toUtf8()));
        for (const QString &folder : mcpJsonFolders)
            home.write(folder + QStringLiteral("/.mcp.json"), "{\"mcpServers\":{\"s\":{\"command\":\"x\"}}}");
        QStringList listed;
        for (const QString &path : paths(load(excluded).projects))
            listed << (path.startsWith(home.path()) ? path.mid(home.path().size() + 1) : path);
        QCOMPARE(listed, expected);
    }

    void stashedProjectServersComeFromTheSidecar()
    {
        TestHome home;
        home.write(QStringLiteral(".claude.json"),
                   "{\"projects\":{\"/w/onlystashed\":{\"mcpServers\":{}},\"/w/"
                   "both\":{\"mcpServers\":{\"live\":{\"command\":\"l\"}}}}}");
        QuorlaneProjectConfig record;
        record.disabled = {"gone"};
        record.stashedConfigs.insert(QStringLiteral("gone"), MCPServerRaw{QStringLiteral("g")});
        record.save(QStringLiteral("/w/onlystashed"));
        record.stashedConfigs.insert(QStringLiteral("live"), MCPServerRaw{QStringLiteral("stale")});
        record.save(QStringLiteral("/w/both"));

        const LoadResult result = load();
        QCOMPARE(paths(result.projects), QStringList({"/w/both", "/w/onlystashed"}));
        QCOMPARE(names(result.projects[0].servers), QStringList({"gone", "live"}));
        QCOMPARE(result.projects[0].servers[1].command, QStringLiteral("l"));
        QCOMPARE(names(result.projects[1].servers), QStringList({"gone"}));
    }

    void scannedProjectsIgnoreSidecars()
    {
        TestHome home;
        home.write(QStringLiteral("scanned/.mcp.json"), "{\"mcpServers\":{\"s\":{\"command\":\"x\"}}}");
        QuorlaneProjectConfig record;
        record.stashedConfigs.insert(QStringLiteral("hidden"), MCPServerRaw{QStringLiteral("h")});
        record.save(home.path() + QStringLiteral("/scanned"));
        QCOMPARE(names(load().projects.value(0).servers), QStringList{"s"});
    }

    void serviceReadsExcludedNamesAtEveryLoad()
    {
        TestHome home;
        home.write(QStringLiteral("alpha/.mcp.json"), "{\"mcpServers\":{\"s\":{\"command\":\"x\"}}}");
        MCPConfigService service;
        QSignalSpy loading(&service, &MCPConfigService::isLoadingChanged);
        Quorlane::waitFor(service.reload());
        QCOMPARE(service.projects().size(), 1);
        QCOMPARE(loading.count(), 2);
        QVERIFY(!service.isLoading());
        QVERIFY(!service.mutationIsLocked());

        PreferenceStore::open()->setValue(QStringLiteral("pref_excludedPaths"), QStringList{"alpha"});
        Quorlane::waitFor(service.reload());
        QVERIFY(service.projects().isEmpty());

        // A value of another type counts as no exclusions.
        PreferenceStore::open()->setValue(QStringLiteral("pref_excludedPaths"), QStringLiteral("alpha"));
        Quorlane::waitFor(service.reload());
        QCOMPARE(service.projects().size(), 1);
    }

    // A large file is parsed on a worker: the main thread keeps turning its event loop.
    void largeFileLoadsOffTheMainThread()
    {
        TestHome home;
        QByteArray big = "{\"mcpServers\":{\"g\":{\"command\":\"x\"}},\"projects\":{";
        const QByteArray filler = QByteArray(2000, 'f');
        for (int i = 0; i < 50000; ++i) {
            if (i)
                big += ',';
            big += "\"/p/" + QByteArray::number(i) + "\":{\"allowedTools\":[\"" + filler + "\"]}";
        }
        big += "}}";
        QVERIFY(big.size() > 100 * 1000 * 1000);
        home.write(QStringLiteral(".claude.json"), big);
        big.clear();

        MCPConfigService service;
        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(1);
        Quorlane::waitFor(service.reload());
        QCOMPARE(names(service.globalServers()), QStringList{"g"});
        QVERIFY2(ticks > 1, "the event loop did not turn while the file was read");
    }
};

QTEST_GUILESS_MAIN(TestConfigLoader)
#include "tst_configloader.moc"
