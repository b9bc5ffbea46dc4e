#include "TestHome.h"
#include "ToggleTestSupport.h"
#include "store/ClaudeJsonLock.h"
#include "store/JsonFile.h"

#include <QFileInfo>
#include <QTest>

#include <memory>

using namespace ToggleTestSupport;

namespace {

// A project with a server of its own in ~/.claude.json, next to another project and the tool's
// own state. "p" has a member outside the seven definition keys.
const QByteArray kClaudeJson =
    R"({"numStartups":7,"mcpServers":{"g":{"command":"g"}},)"
    R"("projects":{"/work/app":{"allowedTools":["Bash"],"hasTrustDialogAccepted":true,)"
    R"("mcpServers":{"p":{"command":"node","args":["p.js"],"env":{"A":"1"},"extra":[1,2]},)"
    R"("o":{"url":"http://127.0.0.1:9/mcp","type":"http"}}},)"
    R"("/work/other":{"mcpServers":{"p":{"command":"other"}}}}})";
const QString kProject = QStringLiteral("/work/app");

} // namespace

class TestProjectToggle : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_home->write(m_home->claudeJson(), kClaudeJson);
        m_service = std::make_unique<MCPConfigService>();
    }
    void cleanup()
    {
        m_service.reset();
        m_home.reset();
    }

    void userFileServerOffAndOn()
    {
        const nlohmann::json original = parse(kClaudeJson);
        m_service->disableProjectServer(QStringLiteral("p"), kProject);

        nlohmann::json expected = original;
        expected["projects"]["/work/app"]["mcpServers"].erase("p");
        QCOMPARE_JSON(parse(TestHome::read(m_home->claudeJson())), expected);
        QuorlaneProjectConfig record = QuorlaneProjectConfig::load(kProject);
        QCOMPARE(record.disabled, QStringList{QStringLiteral("p")});
        QCOMPARE(record.history.size(), 1);
        QCOMPARE(record.history.first().action, QStringLiteral("disable"));
        QCOMPARE(record.stashedConfigs.value(QStringLiteral("p")).command,
                 std::optional<QString>(QStringLiteral("node")));
        QVERIFY(!QFileInfo::exists(ClaudeJsonLock::lockPathFor(m_home->claudeJson())));

        m_service->enableProjectServer(QStringLiteral("p"), kProject);
        // Back with only the seven definition keys: the record cannot hold "extra".
        expected["projects"]["/work/app"]["mcpServers"]["p"] = {
            {"command", "node"}, {"args", {"p.js"}}, {"env", {{"A", "1"}}}};
        QCOMPARE_JSON(parse(TestHome::read(m_home->claudeJson())), expected);
        record = QuorlaneProjectConfig::load(kProject);
        QVERIFY(record.disabled.isEmpty());
        QVERIFY(record.stashedConfigs.isEmpty());
        QCOMPARE(record.history.size(), 2);
        QCOMPARE(record.history.last().action, QStringLiteral("enable"));
    }

    void serverOnlyInMcpJsonIsSwitchedByTheRecord()
    {
        m_service->disableProjectServer(QStringLiteral("fromMcpJson"), kProject);
        QCOMPARE(TestHome::read(m_home->claudeJson()), kClaudeJson);
        QuorlaneProjectConfig record = QuorlaneProjectConfig::load(kProject);
        QCOMPARE(record.disabled, QStringList{QStringLiteral("fromMcpJson")});
        QVERIFY(record.stashedConfigs.isEmpty());
        m_service->enableProjectServer(QStringLiteral("fromMcpJson"), kProject);
        record = QuorlaneProjectConfig::load(kProject);
        QVERIFY(record.disabled.isEmpty());
        QCOMPARE(record.history.size(), 2);
        QCOMPARE(TestHome::read(m_home->claudeJson()), kClaudeJson);
    }

    void repeatedSwitchChangesNothing_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::newRow("off twice") << false;
        QTest::newRow("on while on") << true;
    }
    void repeatedSwitchChangesNothing()
    {
        QFETCH(bool, enabled);
        if (!enabled)
            m_service->disableProjectServer(QStringLiteral("p"), kProject);
        const QByteArray live = TestHome::read(m_home->claudeJson());
        const QByteArray sidecar = TestHome::read(QuorlaneProjectConfig::sidecarPath(kProject));
        enabled ? m_service->enableProjectServer(QStringLiteral("p"), kProject)
                : m_service->disableProjectServer(QStringLiteral("p"), kProject);
        QCOMPARE(TestHome::read(m_home->claudeJson()), live);
        QCOMPARE(TestHome::read(QuorlaneProjectConfig::sidecarPath(kProject)), sidecar);
    }

    // The project's entry (or the file's "projects") vanished while the server was off: the
    // path down to the server is created again.
    void onRecreatesAVanishedProjectEntry_data()
    {
        QTest::addColumn<QByteArray>("meanwhile");
        QTest::newRow("project entry gone") << QByteArray(R"({"numStartups":8,"projects":{}})");
        QTest::newRow("projects not an object") << QByteArray(R"({"numStartups":8,"projects":[]})");
        QTest::newRow("mcpServers not an object")
            << QByteArray(R"({"projects":{"/work/app":{"mcpServers":"none","keep":true}}})");
    }
    void onRecreatesAVanishedProjectEntry()
    {
        QFETCH(QByteArray, meanwhile);
        m_service->disableProjectServer(QStringLiteral("p"), kProject);
        m_home->write(m_home->claudeJson(), meanwhile);
        m_service->enableProjectServer(QStringLiteral("p"), kProject);
        const nlohmann::json root = parse(TestHome::read(m_home->claudeJson()));
        QCOMPARE_JSON(root["projects"]["/work/app"]["mcpServers"]["p"]["command"], "node");
        nlohmann::json rest = root;
        rest.erase("projects");
        nlohmann::json before = parse(meanwhile);
        before.erase("projects");
        QCOMPARE_JSON(rest, before);
        QVERIFY(QuorlaneProjectConfig::load(kProject).stashedConfigs.isEmpty());
    }

    // A definition the record cannot hold stays where it is, switched on; nothing is written.
    void undecodableDefinitionIsNotTakenOut()
    {
        const QByteArray live =
            R"({"projects":{"/work/app":{"mcpServers":{"p":{"command":"x","env":{"N":5}}}}}})";
        m_home->write(m_home->claudeJson(), live);
        bool failed = false;
        try {
            m_service->disableProjectServer(QStringLiteral("p"), kProject);
        } catch (const QuorlaneError &error) {
            failed = true;
            QVERIFY2(error.description().contains(QStringLiteral("\u2018p\u2019")),
                     qPrintable(error.description()));
        }
        QVERIFY(failed);
        QCOMPARE(TestHome::read(m_home->claudeJson()), live);
        QVERIFY(!QFileInfo::exists(QuorlaneProjectConfig::sidecarPath(kProject)));
    }

    // Nowhere to put the definition back: the name leaves "disabled" as always, and the stashed
    // definition, its only copy, stays in the record.
    void onWithUnreadableUserFileKeepsTheDefinition_data()
    {
        QTest::addColumn<QByteArray>("meanwhile");
        QTest::newRow("file missing") << QByteArray();
        QTest::newRow("not JSON") << QByteArray("{\"projects\":");
        QTest::newRow("top level an array") << QByteArray("[]");
    }
    void onWithUnreadableUserFileKeepsTheDefinition()
    {
        QFETCH(QByteArray, meanwhile);
        m_service->disableProjectServer(QStringLiteral("p"), kProject);
        if (meanwhile.isEmpty())
            QFile::remove(m_home->claudeJson());
        else
            m_home->write(m_home->claudeJson(), meanwhile);
        m_service->enableProjectServer(QStringLiteral("p"), kProject);
        const QuorlaneProjectConfig record = QuorlaneProjectConfig::load(kProject);
        QVERIFY(record.disabled.isEmpty());
        QCOMPARE(record.history.last().action, QStringLiteral("enable"));
        QVERIFY(record.stashedConfigs.contains(QStringLiteral("p")));
        QCOMPARE(QFileInfo::exists(m_home->claudeJson()), !meanwhile.isEmpty());
    }

    // ~/.claude.json cannot be replaced after the record took the definition: the record goes
    // back to what it was (here: no record at all) and the live file keeps its bytes.
    void offWhenUserFileCannotBeWrittenRestoresTheRecord()
    {
        const QByteArray live = JsonFile::serializeCompact(parse(kClaudeJson));
        m_home->write(m_home->claudeJson(), live);
        const QString sidecar = QuorlaneProjectConfig::sidecarPath(kProject);
        bool failed = false;
        {
            FileSizeLimit limit(rlim_t(live.size() + 16));
            try {
                m_service->disableProjectServer(QStringLiteral("p"), kProject);
            } catch (const FileSystemError &) {
                failed = true;
            }
        }
        QVERIFY(failed);
        QCOMPARE(TestHome::read(m_home->claudeJson()), live);
        QVERIFY(!QFileInfo::exists(sidecar));
        QVERIFY(!QFileInfo::exists(ClaudeJsonLock::lockPathFor(m_home->claudeJson())));
    }

    void onWhenUserFileCannotBeWrittenKeepsTheRecord()
    {
        m_service->disableProjectServer(QStringLiteral("p"), kProject);
        const QString sidecar = QuorlaneProjectConfig::sidecarPath(kProject);
        const QByteArray record = TestHome::read(sidecar);
        const QByteArray live = JsonFile::serializeCompact(parse(TestHome::read(m_home->claudeJson())));
        m_home->write(m_home->claudeJson(), live);
        bool failed = false;
        {
            FileSizeLimit limit(rlim_t(live.size() + 16));
            try {
                m_service->enableProjectServer(QStringLiteral("p"), kProject);
            } catch (const FileSystemError &) {
                failed = true;
            }
        }
        QVERIFY(failed);
        QCOMPARE(TestHome::read(m_home->claudeJson()), live);
        QCOMPARE(TestHome::read(sidecar), record);
    }

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<MCPConfigService> m_service;
};

QTEST_GUILESS_MAIN(TestProjectToggle)
#include "tst_projecttoggle.moc"
