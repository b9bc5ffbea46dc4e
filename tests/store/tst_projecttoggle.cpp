#include "TestHome.h"
#include "ToggleTestSupport.h"
#include "store/ClaudeJsonLock.h"
#include "store/JsonFile.h"

#include <QFileInfo>
#include <QTest>

#include <memory>

using namespace ToggleTestSupport;
using nlohmann::json;

namespace {

// "p" has a member outside the seven definition keys; another project has a server of that name.
const QByteArray kClaudeJson =
    R"({"numStartups":7,"mcpServers":{"g":{"command":"g"}},)"
    R"("projects":{"/work/app":{"allowedTools":["Bash"],"hasTrustDialogAccepted":true,)"
    R"("mcpServers":{"p":{"command":"node","args":["p.js"],"env":{"A":"1"},"extra":[1,2]},)"
    R"("o":{"url":"http:\/\/127.0.0.1:9/mcp","type":"http"}}},"/work/other":{"mcpServers":{"p":{"command":"other"}}}}})";
const QString kProject = QStringLiteral("/work/app");

} // namespace

class TestProjectToggle : public ToggleTestSupport::ToggleFixture
{
    Q_OBJECT

public:
    TestProjectToggle() : ToggleFixture(kClaudeJson) {}

private Q_SLOTS:
    void userFileServerOffAndOn()
    {
        json expected = parse(kClaudeJson);
        m_service->disableProjectServer("p", kProject);
        m_service->disableProjectServer("p", kProject); // again: changes nothing
        expected["projects"]["/work/app"]["mcpServers"].erase("p");
        QCOMPARE_JSON(parse(TestHome::read(m_home->claudeJson())), expected);
        QuorlaneProjectConfig record = QuorlaneProjectConfig::load(kProject);
        QCOMPARE(record.disabled, QStringList{"p"});
        QCOMPARE(record.history.size(), 1);
        QCOMPARE(record.stashedConfigs.value("p").command, std::optional<QString>("node"));
        QVERIFY(!QFileInfo::exists(ClaudeJsonLock::lockPathFor(m_home->claudeJson())));

        m_service->enableProjectServer("p", kProject);
        m_service->enableProjectServer("p", kProject);
        // Back with only the seven definition keys: the record cannot hold "extra".
        expected["projects"]["/work/app"]["mcpServers"]["p"] = {
            {"command", "node"}, {"args", {"p.js"}}, {"env", {{"A", "1"}}}};
        QCOMPARE_JSON(parse(TestHome::read(m_home->claudeJson())), expected);
        record = QuorlaneProjectConfig::load(kProject);
        QVERIFY(record.disabled.isEmpty() && record.stashedConfigs.isEmpty());
        QCOMPARE(record.history.size(), 2);
        QCOMPARE(record.history.last().action, QStringLiteral("enable"));
    }

    void serverOnlyInMcpJsonIsSwitchedByTheRecord()
    {
        m_service->disableProjectServer("fromMcpJson", kProject);
        QCOMPARE(QuorlaneProjectConfig::load(kProject).disabled, QStringList{"fromMcpJson"});
        m_service->enableProjectServer("fromMcpJson", kProject);
        const QuorlaneProjectConfig record = QuorlaneProjectConfig::load(kProject);
        QVERIFY(record.disabled.isEmpty() && record.stashedConfigs.isEmpty());
        QCOMPARE(record.history.size(), 2);
        QCOMPARE(TestHome::read(m_home->claudeJson()), kClaudeJson);
    }

    // ~/.claude.json changed while the server was off. Where the path down to the server is
    // gone it is created again; where the file is unreadable the stashed definition, its only
    // copy, stays in the record while the name leaves "disabled".
    void onAfterTheUserFileChanged_data()
    {
        QTest::addColumn<QByteArray>("meanwhile");
        QTest::addColumn<bool>("putBack");
        QTest::newRow("project entry gone") << QByteArray(R"({"numStartups":8,"projects":{}})") << true;
        QTest::newRow("projects not an object") << QByteArray(R"({"numStartups":8,"projects":[]})") << true;
        QTest::newRow("mcpServers not an object")
            << QByteArray(R"({"projects":{"/work/app":{"mcpServers":"none","keep":true}}})") << true;
        QTest::newRow("file missing") << QByteArray() << false;
        QTest::newRow("not JSON") << QByteArray("{\"projects\":") << false;
    }
    void onAfterTheUserFileChanged()
    {
        QFETCH(QByteArray, meanwhile);
        QFETCH(bool, putBack);
        m_service->disableProjectServer("p", kProject);
        meanwhile.isEmpty() ? void(QFile::remove(m_home->claudeJson()))
                            : void(m_home->write(m_home->claudeJson(), meanwhile));
        m_service->enableProjectServer("p", kProject);
        const QuorlaneProjectConfig record = QuorlaneProjectConfig::load(kProject);
        QVERIFY(record.disabled.isEmpty());
        QCOMPARE(record.stashedConfigs.contains("p"), !putBack);
        if (!putBack) {
            QCOMPARE(TestHome::read(m_home->claudeJson()), meanwhile);
            return;
        }
        json root = parse(TestHome::read(m_home->claudeJson()));
        QCOMPARE_JSON(root["projects"]["/work/app"]["mcpServers"]["p"]["command"], "node");
        json before = parse(meanwhile);
        root.erase("projects");
        before.erase("projects");
        QCOMPARE_JSON(root, before);
    }

    // A definition the record cannot hold stays where it is, switched on; nothing is written.
    void undecodableDefinitionIsNotTakenOut()
    {
        const QByteArray live =
            R"({"projects":{"/work/app":{"mcpServers":{"p":{"command":"x","env":{"N":5}}}}}})";
        m_home->write(m_home->claudeJson(), live);
        try {
            m_service->disableProjectServer("p", kProject);
            QFAIL("a definition the record cannot hold was taken out");
        } catch (const QuorlaneError &error) {
            QVERIFY2(error.description().contains("\u2018p\u2019"), qPrintable(error.description()));
        }
        QCOMPARE(TestHome::read(m_home->claudeJson()), live);
        QVERIFY(!QFileInfo::exists(QuorlaneProjectConfig::sidecarPath(kProject)));
    }

    // ~/.claude.json cannot be replaced: it keeps its bytes and the record its prior state (off:
    // no record at all; on: the record with the definition).
    void userFileCannotBeWritten_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::newRow("off") << false;
        QTest::newRow("on") << true;
    }
    void userFileCannotBeWritten()
    {
        QFETCH(bool, enabled);
        const QString sidecar = QuorlaneProjectConfig::sidecarPath(kProject);
        if (enabled)
            m_service->disableProjectServer("p", kProject);
        const QByteArray record = TestHome::read(sidecar);
        const QByteArray live = JsonFile::serializeCompact(parse(TestHome::read(m_home->claudeJson())));
        m_home->write(m_home->claudeJson(), live);
        {
            FileSizeLimit limit(rlim_t(live.size() + 16));
            QVERIFY_THROWS_EXCEPTION(FileSystemError, enabled
                                                          ? m_service->enableProjectServer("p", kProject)
                                                          : m_service->disableProjectServer("p", kProject));
        }
        QCOMPARE(TestHome::read(m_home->claudeJson()), live);
        QCOMPARE(QFileInfo::exists(sidecar), enabled);
        QCOMPARE(TestHome::read(sidecar), record);
        QVERIFY(!QFileInfo::exists(ClaudeJsonLock::lockPathFor(m_home->claudeJson())));
    }
};

QTEST_GUILESS_MAIN(TestProjectToggle)
#include "tst_projecttoggle.moc"
