// The records and file formats: a value decoded to the wrong kind, a member dropped by a rewrite
// or a sidecar in the wrong place corrupts what the store keeps for the user.
#include "TestHome.h"
#include "platform/QuorlaneError.h"
#include "store/ClaudeJson.h"
#include "store/ConfigFormats.h"
#include "store/JsonFile.h"
#include "store/MCPProject.h"
#include "store/QuorlaneProjectConfig.h"
#include "json/RawJSON.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTest>

using nlohmann::json;

class TestRecords : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A name that starts with a byte-order mark keeps it in every file Quorlane reads (Qt's
    // fromUtf8 drops one at the start): a lost mark would switch a different server.
    void namesKeepALeadingByteOrderMark()
    {
        const QString name = QString(QChar(0xFEFF)) + QStringLiteral("m");
        const QByteArray quoted = '"' + name.toUtf8() + '"';
        const auto config = MCPConfig::decode(R"({"mcpServers":{)" + quoted + R"(:{"command":"x"}}})");
        QVERIFY(config && config->mcpServers.contains(name));
        const auto record =
            QuorlaneProjectConfig::decode(R"({"projectPath":"/p","history":[],"disabled":[)" + quoted +
                                          R"(],"stashedConfigs":{)" + quoted + R"(:{"command":"x"}}})");
        QVERIFY(record && record->disabled == QStringList{name} && record->stashedConfigs.contains(name));
    }

    // A stashed definition deeper than any definition is refused, never walked by recursion.
    void tooDeepDefinitionIsRefused()
    {
        const QByteArray deep =
            QByteArray(RawJSON::kMaxDepth + 1, '[') + QByteArray(RawJSON::kMaxDepth + 1, ']');
        QVERIFY(!RawJSON::fromDocument(*JsonDocument::parse(deep), 0, RawJSON::Numbers::byValue));
        QVERIFY(!DisabledGlobalConfig::decode("{\"desktop\":{},\"global\":{\"x\":" + deep + "}}"));
    }

    void serverDefinitionDecoding_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("decodes");
        QTest::newRow("stdio") << QByteArray(R"({"command":"npx","args":["-y"],"env":{"A":"1"}})") << true;
        QTest::newRow("http") << QByteArray(R"({"type":"http","url":"http:\/\/h/mcp","headers":{"X":"y"}})")
                              << true;
        QTest::newRow("isProxy not bool") << QByteArray(R"({"isProxy":"yes"})") << false;
        QTest::newRow("not an object") << QByteArray("\"npx\"") << false;
    }
    void serverDefinitionDecoding()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, decodes);
        const auto raw = MCPServerRaw::decode(json::parse(text.toStdString()));
        QCOMPARE(raw.has_value(), decodes);
        if (raw)
            QVERIFY(MCPServerRaw::decode(raw->encode()) == raw);
    }

    // ~/.claude.json read as Claude Code's JSON.parse reads it: only the last of duplicated names
    // counts, even where an earlier one would not decode.
    void claudeJsonLastDuplicateWins()
    {
        const auto view = ClaudeJson::decode(
            R"({"mcpServers":{"x":{"command":"a"}},"mcpServers":{"y":{"command":"b"},"z":{"url":1},"z":{}}})");
        QVERIFY(view && view->mcpServers);
        QCOMPARE(view->mcpServers->keys(), (QStringList{"y", "z"}));
    }

    void sortingIsByCodePoint()
    {
        QList<MCPServerEntry> entries;
        for (const char *name : {"apple", "Zed", "\xF0\x9F\x98\x80", "\xEF\xBC\xA1", "_x", "Apple"})
            entries.append(MCPServerEntry::fromRaw(QString::fromUtf8(name), {}));
        MCPServerEntries::sortByName(entries);
        QStringList names;
        for (const auto &e : entries)
            names << e.name;
        // U+FF21 (fullwidth A) comes before U+1F600 by code point, though not by UTF-16 unit.
        QCOMPARE(names, QStringList({"Apple", "Zed", "_x", "apple", QString::fromUtf8("\xEF\xBC\xA1"),
                                     QString::fromUtf8("\xF0\x9F\x98\x80")}));
        QList<MCPProject> projects;
        for (const char *path : {"/home/u/zeta", "/srv/Alpha", "/a/b/beta/"}) {
            MCPProject project;
            project.id = project.path = QString::fromUtf8(path);
            projects.append(project);
        }
        MCPProjects::sortByLastComponent(projects);
        QCOMPARE(projects[0].path + projects[1].path, QStringLiteral("/srv/Alpha/a/b/beta/"));
    }

    // Dotfiles kept in a repository and linked: the link stays a link. A file changed since it was
    // read (Claude Desktop takes no lock) is not overwritten.
    void atomicWrites()
    {
        TestHome home;
        const QString target = home.write("dotfiles/claude.json", "theirs");
        const QString link = home.path() + "/.claude.json";
        QVERIFY(QFile::link(target, link));
        QVERIFY(!JsonFile::writeAtomicallyIfUnchanged(link, "ours", "what we read"));
        QCOMPARE(TestHome::read(target), QByteArray("theirs"));
        QVERIFY(JsonFile::writeAtomicallyIfUnchanged(link, "ours", "theirs"));
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(TestHome::read(target), QByteArray("ours"));
        QCOMPARE(QDir(home.path() + "/dotfiles").entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    // Paths that older versions mapped to one file name get one record each; a long path still
    // gives a usable name.
    void sidecarNamesCannotCollide()
    {
        TestHome home;
        const QStringList paths{"/x/a-b", "/x/a/b", "/x-a/b", "//x/a/b", "/x/a/b/", "/" + QString(300, 'd')};
        QSet<QString> names;
        for (const QString &path : paths) {
            const QString name = QuorlaneProjectConfig::sidecarPath(path);
            QVERIFY(name.startsWith(home.configDir() + "/Quorlane/projects/"));
            QVERIFY2(QFileInfo(name).fileName().toUtf8().size() < 255, qPrintable(name));
            names.insert(name);
        }
        QCOMPARE(names.size(), paths.size());
        QVERIFY(QFileInfo(QuorlaneProjectConfig::sidecarPath("/x/a-b")).fileName().startsWith("x-a-b-"));
    }

    // Whole definitions with their origins come back as written; the older typed layout (no
    // path, no origins) still reads, its definitions of unknown origin.
    void sidecarRoundTrip()
    {
        TestHome home;
        QuorlaneProjectConfig record;
        for (const char *name : {"b", "a", "b"})
            record.recordDisable(name);
        const json oauth =
            json::parse(R"({"type":"http","url":"http:\/\/h","oauth":{"clientId":"abc","n":2}})");
        record.stashedConfigs.insert("b", {RawJSON::fromText(oauth), DefinitionOrigin::claudeJsonLocal});
        record.save("/p/q");
        QCOMPARE(QuorlaneProjectConfig::load("/p/q"), record);
        QCOMPARE(record.projectPath, QStringLiteral("/p/q"));
        QCOMPARE(record.disabled, QStringList({"b", "a"}));
        record.disabled = {"a", "b", "a"};
        record.recordEnable("a");
        QCOMPARE(record.disabled, QStringList{"b"});
        QCOMPARE(record.history.last().action, QStringLiteral("enable"));

        const auto older = QuorlaneProjectConfig::decode(
            R"({"disabled":["m"],"history":[],"stashedConfigs":{"m":{"command":"x","env":{"X":1}}}})");
        QVERIFY(older && older->projectPath.isEmpty());
        QCOMPARE(older->stashedConfigs.value("m").origin, DefinitionOrigin::unknown);
        for (const QByteArray text :
             {R"({"disabled":[],"stashedConfigs":{}})", R"({"history":[],"stashedConfigs":{}})",
              R"({"disabled":[],"history":[{"server":"a","action":"disable"}],"stashedConfigs":{}})",
              R"({"disabled":[],"history":[],"stashedConfigs":{},"projectPath":1})",
              R"({"disabled":[],"history":[],"stashedConfigs":{"a":{}},"stashedOrigins":{"a":true}})"})
            QVERIFY2(!QuorlaneProjectConfig::decode(text), text.constData());
    }

    // Where a project's record is found and where it ends up. "@OLD@" is the file name older
    // versions gave the record of /w/a-b, which /w/a/b shared.
    void recordsMoveOver_data()
    {
        QTest::addColumn<QString>("project");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("disabled");
        QTest::addColumn<bool>("moved");
        const QByteArray older = R"({"disabled":["m"],"history":[],"stashedConfigs":{}})";
        const QByteArray named =
            R"({"disabled":["m"],"history":[],"projectPath":"/w/a/b","stashedConfigs":{}})";
        QTest::newRow("older name, no project named") << "/w/a-b"
                                                      << "@OLD@" << older << QStringList{"m"} << true;
        QTest::newRow("older name naming another project") << "/w/a-b"
                                                           << "@OLD@" << named << QStringList{} << false;
        QTest::newRow("legacy file in the folder")
            << "@HOME@/proj"
            << "@HOME@/proj/.claude.quorlane.json" << older << QStringList{"m"} << true;
        QTest::newRow("invalid legacy file stays")
            << "@HOME@/proj"
            << "@HOME@/proj/.claude.quorlane.json" << QByteArray("{broken") << QStringList{} << false;
    }
    void recordsMoveOver()
    {
        QFETCH(QString, project);
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QStringList, disabled);
        QFETCH(bool, moved);
        TestHome home;
        project.replace("@HOME@", home.path());
        file.replace("@HOME@", home.path())
            .replace("@OLD@", home.configDir() + "/Quorlane/projects/w-a-b.json");
        home.write(file, content);
        const QuorlaneProjectConfig record = QuorlaneProjectConfig::load(project);
        QCOMPARE(record.disabled, disabled);
        QCOMPARE(QFileInfo::exists(file), !moved);
        QCOMPARE(QFileInfo::exists(QuorlaneProjectConfig::sidecarPath(project)), moved);
        if (moved)
            QCOMPARE(
                QuorlaneProjectConfig::decode(TestHome::read(QuorlaneProjectConfig::sidecarPath(project)))
                    ->projectPath,
                project);
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
