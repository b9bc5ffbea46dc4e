// The records and file formats every other part of the store relies on: a value that decodes
// to the wrong kind, or a definition that keeps (or drops) the wrong members, corrupts a stash.
#include "store/ClaudeJson.h"
#include "store/ConfigFormats.h"
#include "store/JsonFile.h"
#include "store/MCPProject.h"
#include "store/RawJSON.h"

#include <QTest>

#include <nlohmann/json.hpp>

using nlohmann::json;

Q_DECLARE_METATYPE(RawJSON)

class TestRecords : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rawDecodesToTheRightKind_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<RawJSON>("expected");
        QTest::newRow("string one") << QByteArray("\"1\"") << RawJSON(std::string("1"));
        QTest::newRow("integer one") << QByteArray("1") << RawJSON(std::int64_t(1));
        QTest::newRow("one and a half") << QByteArray("1.5") << RawJSON(1.5);
        QTest::newRow("true") << QByteArray("true") << RawJSON(true);
        QTest::newRow("one written as 1.0") << QByteArray("1.0") << RawJSON(std::int64_t(1));
        QTest::newRow("exponent whole number") << QByteArray("1e2") << RawJSON(std::int64_t(100));
        QTest::newRow("largest int64") << QByteArray("9223372036854775807") << RawJSON(INT64_MAX);
        QTest::newRow("smallest int64") << QByteArray("-9223372036854775808") << RawJSON(INT64_MIN);
        QTest::newRow("beyond int64") << QByteArray("9223372036854775808") << RawJSON(9223372036854775808.0);
        QTest::newRow("beyond uint64") << QByteArray("1e30") << RawJSON(1e30);
        QTest::newRow("null") << QByteArray("null") << RawJSON();
        QTest::newRow("nested keeps kinds")
            << QByteArray("{\"a\":[1,1.5,\"x\",false,null]}")
            << RawJSON(RawJSON::Object{
                   {"a", RawJSON(RawJSON::Array{RawJSON(std::int64_t(1)), RawJSON(1.5),
                                                RawJSON(std::string("x")), RawJSON(false), RawJSON()})}});
    }
    void rawDecodesToTheRightKind()
    {
        QFETCH(QByteArray, text);
        QFETCH(RawJSON, expected);
        const RawJSON decoded = RawJSON::fromText(json::parse(text.toStdString()));
        QVERIFY(decoded == expected);
        // Encoding gives back a value of the same kind and value.
        QVERIFY(RawJSON::fromText(json::parse(decoded.toGeneric().dump())) == expected);
    }

    void rawEqualityIsByKind()
    {
        QVERIFY(!(RawJSON(std::int64_t(1)) == RawJSON(1.0)));
        QVERIFY(!(RawJSON(true) == RawJSON(std::int64_t(1))));
        QVERIFY(RawJSON::fromText(json::parse("{\"b\":1,\"a\":2}")) ==
                RawJSON::fromText(json::parse("{\"a\":2,\"b\":1}")));
        QVERIFY(!(RawJSON::fromText(json::parse("[1,2]")) == RawJSON::fromText(json::parse("[2,1]"))));
    }

    // Stashing converts the live tree: a float stays a float even when whole, unlike text decoding.
    void genericConversionKeepsParserKinds()
    {
        const json live = json::parse("{\"n\":1.0,\"i\":3,\"big\":18446744073709551615,\"s\":\"/x\"}");
        const auto raw = RawJSON::fromGeneric(live);
        QVERIFY(raw);
        const auto &object = std::get<RawJSON::Object>(raw->value());
        QVERIFY(object.at("n") == RawJSON(1.0));
        QVERIFY(object.at("i") == RawJSON(std::int64_t(3)));
        QVERIFY(std::holds_alternative<double>(object.at("big").value()));
        QVERIFY(raw->toGeneric() == live);
    }

    void serverDefinitionDecoding_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("decodes");
        QTest::addColumn<QString>("command");
        QTest::newRow("stdio") << QByteArray(
                                      "{\"command\":\"npx\",\"args\":[\"-y\",\"x\"],\"env\":{\"A\":\"1\"}}")
                               << true << "npx";
        QTest::newRow("http")
            << QByteArray("{\"type\":\"http\",\"url\":\"http:\\/\\/h/mcp\",\"headers\":{\"X\":\"y\"}}")
            << true << "";
        QTest::newRow("null command is unset") << QByteArray("{\"command\":null}") << true << "";
        QTest::newRow("unknown members ignored")
            << QByteArray("{\"command\":\"a\",\"timeout\":5,\"x\":{}}") << true << "a";
        QTest::newRow("number in env")
            << QByteArray("{\"command\":\"a\",\"env\":{\"PORT\":8080}}") << false << "";
        QTest::newRow("args not strings") << QByteArray("{\"command\":\"a\",\"args\":[1]}") << false << "";
        QTest::newRow("isProxy not bool") << QByteArray("{\"isProxy\":\"yes\"}") << false << "";
        QTest::newRow("not an object") << QByteArray("\"npx\"") << false << "";
    }
    void serverDefinitionDecoding()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, decodes);
        QFETCH(QString, command);
        const auto raw = MCPServerRaw::decode(json::parse(text.toStdString()));
        QCOMPARE(raw.has_value(), decodes);
        if (!raw)
            return;
        const MCPServerEntry entry = MCPServerEntry::fromRaw(QStringLiteral("s"), *raw);
        QCOMPARE(entry.command, command);
        // Only the seven definition keys survive a round trip through the typed record.
        const json encoded = raw->encode();
        for (const auto &[key, value] : encoded.items())
            QVERIFY2(QStringList({"command", "args", "env", "isProxy", "type", "url", "headers"})
                         .contains(QString::fromStdString(key)),
                     key.c_str());
    }

    void unknownMembersSurviveOnlyAsRaw()
    {
        const json live = json::parse("{\"command\":\"a\",\"timeout\":5,\"alwaysAllow\":[\"t\"]}");
        QVERIFY(RawJSON::fromGeneric(live)->toGeneric() == live);
        QVERIFY(!MCPServerRaw::decode(live)->encode().contains("timeout"));
    }

    void fileLayoutsRequireTheirMembers()
    {
        QVERIFY(!MCPConfig::decode(QByteArray("{\"servers\":{}}")));
        QVERIFY(MCPConfig::decode(QByteArray("{\"mcpServers\":{},\"other\":1}")));
        QVERIFY(!MCPConfig::decode(QByteArray("{\"mcpServers\":null}")));
        QVERIFY(!DisabledGlobalConfig::decode(QByteArray("{\"global\":{}}")));
        QVERIFY(!DisabledGlobalConfig::decode(QByteArray("{\"global\":{},\"desktop\":[]}")));
        const auto stash =
            DisabledGlobalConfig::decode(QByteArray("{\"global\":{\"a\":\"str\"},\"desktop\":{}}"));
        QVERIFY(stash);
        QVERIFY(stash->global.at("a") == RawJSON(std::string("str")));
        QCOMPARE(*DisabledGlobalConfig::decode(QByteArray::fromStdString(stash->encode().dump())), *stash);
    }

    void claudeJsonView_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<int>("globalServers");
        QTest::addColumn<int>("projects");
        QTest::newRow("typical")
            << QByteArray(
                   "{\"numStartups\":3,\"mcpServers\":{\"a\":{\"command\":\"x\"}},\n"
                   "            "
                   "\"projects\":{\"/p\":{\"allowedTools\":[],\"mcpServers\":{\"b\":{\"url\":\"http:\\/\\/"
                   "h\"}}},\"/q\":{}}}")
            << true << 1 << 2;
        QTest::newRow("no members") << QByteArray("{\"userID\":\"u\"}") << true << 0 << -1;
        QTest::newRow("null members")
            << QByteArray("{\"mcpServers\":null,\"projects\":null}") << true << 0 << -1;
        QTest::newRow("broken definition in a project")
            << QByteArray("{\"mcpServers\":{\"a\":{\"command\":\"x\"}},\"projects\":{\"/"
                          "p\":{\"mcpServers\":{\"b\":{\"env\":{\"P\":1}}}}}}")
            << false << 0 << 0;
        QTest::newRow("project not an object")
            << QByteArray("{\"projects\":{\"/p\":true}}") << false << 0 << 0;
        QTest::newRow("mcpServers an array") << QByteArray("{\"mcpServers\":[]}") << false << 0 << 0;
        QTest::newRow("top level an array") << QByteArray("[]") << false << 0 << 0;
        QTest::newRow("truncated") << QByteArray("{\"mcpServers\":{\"a\":{\"command\":\"x\"}},\"proj")
                                   << false << 0 << 0;
        QTest::newRow("not UTF-8") << QByteArray("{\"mcpServers\":{\"a\":{\"command\":\"\xff\xfe\"}}}")
                                   << false << 0 << 0;
        QTest::newRow("empty file") << QByteArray() << false << 0 << 0;
        QTest::newRow("integer beyond 64 bits elsewhere")
            << QByteArray(
                   "{\"counter\":123456789012345678901234567890,\"mcpServers\":{\"a\":{\"command\":\"x\"}}}")
            << true << 1 << -1;
    }
    void claudeJsonView()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, readable);
        QFETCH(int, globalServers);
        QFETCH(int, projects);
        const auto view = ClaudeJson::decode(text);
        QCOMPARE(view.has_value(), readable);
        if (!view)
            return;
        QCOMPARE(view->mcpServers ? int(view->mcpServers->size()) : 0, globalServers);
        QCOMPARE(view->projects ? int(view->projects->size()) : -1, projects);
        // The fast reader and the generic one agree.
        const auto generic = JsonFile::parse(text);
        if (generic) {
            auto slow = ClaudeJson::decode(*generic);
            QVERIFY(slow);
            QCOMPARE(slow->mcpServers, view->mcpServers);
        }
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
        for (const char *path : {"/home/u/zeta", "/srv/Alpha", "/a/b/beta/"})
            projects.append({path, path, {}, MCPSource::project, true});
        MCPProjects::sortByLastComponent(projects);
        QCOMPARE(projects[0].path, QStringLiteral("/srv/Alpha"));
        QCOMPARE(projects[1].path, QStringLiteral("/a/b/beta/"));
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
