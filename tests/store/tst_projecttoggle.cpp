// Switching project servers: the definition must be in exactly one of the two files after every
// switch, whole, and a record that cannot be read must never be replaced.
#include "TestHome.h"
#include "ToggleTestSupport.h"
#include "platform/WaitFor.h"
#include "store/ClaudeJsonLock.h"
#include "store/JsonFile.h"
#include "store/ProjectRecordFile.h"
#include "store/QuorlaneProjectConfig.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTest>

#include <sys/stat.h>

using namespace ToggleTestSupport;
using nlohmann::json;

namespace {

// "p" has members outside the seven definition keys (the "oauth" block `claude mcp add
// --client-id` writes); another project has a server of that name.
const QByteArray kClaudeJson =
    R"({"numStartups":7,"mcpServers":{"g":{"command":"g"}},)"
    R"("projects":{"/work/app":{"allowedTools":["Bash"],"hasTrustDialogAccepted":true,)"
    R"("mcpServers":{"p":{"command":"node","args":["p.js"],"env":{"A":"1"},"extra":[1,2.5,18446744073709551615,-0],)"
    R"("oauth":{"clientId":"abc","callbackPort":8080}},)"
    R"("o":{"url":"http:\/\/127.0.0.1:9/mcp","type":"http"}}},"/work/other":{"mcpServers":{"p":{"command":"other"}}}}})";
const QString kProject = QStringLiteral("/work/app");

int modeOf(const QString &path)
{
    struct stat status = {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 0777) : -1;
}

QString errorOf(const std::function<QCoro::Task<void>()> &start)
{
    try {
        Quorlane::waitFor(start());
    } catch (const QuorlaneError &error) {
        return error.description();
    }
    return {};
}

} // namespace

class TestProjectToggle : public ToggleTestSupport::ToggleFixture
{
    Q_OBJECT

public:
    TestProjectToggle() : ToggleFixture(kClaudeJson) {}

private:
    void off(const QString &name, const QString &project = kProject)
    {
        Quorlane::waitFor(m_service->disableProjectServer(name, project));
    }
    void on(const QString &name, const QString &project = kProject, bool trust = false)
    {
        Quorlane::waitFor(m_service->enableProjectServer(name, project, trust));
    }
    json projectServers(const QString &project = kProject) const
    {
        return parse(TestHome::read(m_home->claudeJson()))["projects"][project.toStdString()]["mcpServers"];
    }

private Q_SLOTS:
    // Off and on gives back the definition whole, every member kept; every other member of
    // ~/.claude.json survives both switches; the record is private to the user.
    void userFileServerOffAndOn()
    {
        const json before = parse(kClaudeJson);
        json expected = before;
        off("p");
        off("p"); // again: changes nothing
        expected["projects"]["/work/app"]["mcpServers"].erase("p");
        QCOMPARE_JSON(parse(TestHome::read(m_home->claudeJson())), expected);
        QuorlaneProjectConfig record = QuorlaneProjectConfig::load(kProject);
        QCOMPARE(record.disabled, QStringList{"p"});
        QCOMPARE(record.history.size(), 1);
        QVERIFY(record.stashedConfigs.value("p").definition.toGeneric() ==
                before["projects"]["/work/app"]["mcpServers"]["p"]);
        QCOMPARE(record.stashedConfigs.value("p").origin, DefinitionOrigin::claudeJsonLocal);
        QVERIFY(!QFileInfo::exists(ClaudeJsonLock::lockPathFor(m_home->claudeJson())));
        const QString sidecar = QuorlaneProjectConfig::sidecarPath(kProject);
        QCOMPARE(modeOf(sidecar), 0600);
        QCOMPARE(modeOf(m_home->configDir() + "/Quorlane"), 0700);

        on("p");
        on("p");
        QCOMPARE_JSON(parse(TestHome::read(m_home->claudeJson())), before);
        // Numbers no int64 or double holds come back as they were written, not rounded.
        QVERIFY(TestHome::read(m_home->claudeJson()).contains("  18446744073709551615,\n"));
        QVERIFY(TestHome::read(m_home->claudeJson()).contains("  -0\n"));
        record = QuorlaneProjectConfig::load(kProject);
        QVERIFY(record.disabled.isEmpty() && record.stashedConfigs.isEmpty());
        QCOMPARE(record.history.size(), 2);
    }

    // A server defined only in .mcp.json is switched by the record alone, without waiting for
    // Claude Code's lock (held here by a live Claude Code).
    void serverOnlyInMcpJsonIsSwitchedByTheRecord()
    {
        QVERIFY(QDir().mkdir(ClaudeJsonLock::lockPathFor(m_home->claudeJson())));
        QElapsedTimer timer;
        timer.start();
        off("fromMcpJson");
        QCOMPARE(QuorlaneProjectConfig::load(kProject).disabled, QStringList{"fromMcpJson"});
        on("fromMcpJson");
        QVERIFY2(timer.elapsed() < 2000, "a switch of the record alone waited for Claude Code's lock");
        const QuorlaneProjectConfig record = QuorlaneProjectConfig::load(kProject);
        QVERIFY(record.disabled.isEmpty() && record.stashedConfigs.isEmpty());
        QCOMPARE(record.history.size(), 2);
        QCOMPARE(TestHome::read(m_home->claudeJson()), kClaudeJson);
    }

    // ~/.claude.json changed while the server was off. Where the path down to the server is gone
    // it is created again; where the file cannot take it back, the switch is refused and the
    // definition stays in the record, off.
    void onAfterTheUserFileChanged_data()
    {
        QTest::addColumn<QByteArray>("meanwhile");
        QTest::addColumn<bool>("putBack");
        QTest::newRow("project entry gone") << QByteArray(R"({"numStartups":8,"projects":{}})") << true;
        QTest::newRow("mcpServers not an object")
            << QByteArray(R"({"projects":{"/work/app":{"mcpServers":"none","keep":true}}})") << true;
        QTest::newRow("file missing") << QByteArray() << false;
        QTest::newRow("not JSON") << QByteArray("{\"projects\":") << false;
    }
    void onAfterTheUserFileChanged()
    {
        QFETCH(QByteArray, meanwhile);
        QFETCH(bool, putBack);
        off("p");
        meanwhile.isEmpty() ? void(QFile::remove(m_home->claudeJson()))
                            : void(m_home->write(m_home->claudeJson(), meanwhile));
        QCOMPARE(errorOf([&] { return m_service->enableProjectServer("p", kProject); }).isEmpty(), putBack);
        const QuorlaneProjectConfig record = QuorlaneProjectConfig::load(kProject);
        QCOMPARE(record.disabled.isEmpty(), putBack);
        QCOMPARE(record.stashedConfigs.contains("p"), !putBack);
        if (!putBack) {
            QCOMPARE(TestHome::read(m_home->claudeJson()), meanwhile);
            return;
        }
        json root = parse(TestHome::read(m_home->claudeJson()));
        QCOMPARE_JSON(root["projects"]["/work/app"]["mcpServers"]["p"]["extra"],
                      json::parse("[1,2.5,18446744073709551615,-0]"));
        json before = parse(meanwhile);
        root.erase("projects");
        before.erase("projects");
        QCOMPARE_JSON(root, before);
    }

    // A definition live in ~/.claude.json is on whatever the record says: added again after it
    // was switched off, it is listed on, switching on keeps it (the stale stash goes), and
    // switching off stashes the new one.
    void liveDefinitionWinsOverTheRecord()
    {
        off("p");
        json root = parse(TestHome::read(m_home->claudeJson()));
        root["projects"]["/work/app"]["mcpServers"]["p"] = {{"command", "newer"}};
        m_home->write(m_home->claudeJson(), JsonFile::serializePretty(root));
        Quorlane::waitFor(m_service->reload());
        QVERIFY(m_service->projects().size() == 2 && m_service->projects()[0].path == kProject);
        QVERIFY(m_service->projects()[0].isServerEnabled("p"));

        on("p");
        QCOMPARE_JSON(projectServers()["p"], json({{"command", "newer"}}));
        QVERIFY(QuorlaneProjectConfig::load(kProject).stashedConfigs.isEmpty());
        off("p");
        QVERIFY(!projectServers().contains("p"));
        QVERIFY(QuorlaneProjectConfig::load(kProject).stashedConfigs.value("p").definition.toGeneric() ==
                json({{"command", "newer"}}));
    }

    // A record that does not decode refuses every switch in its project, naming the file, and
    // keeps its bytes; other projects still switch.
    void undecodableRecordRefusesSwitches_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::newRow("truncated") << QByteArray("{\"disabled\":[\"p\"],\"history\":[],\"stashedCo");
        QTest::newRow("wrong-typed member")
            << QByteArray(R"({"disabled":"p","history":[],"stashedConfigs":{"p":{"command":"x"}}})");
        QTest::newRow("definition not an object")
            << QByteArray(R"({"disabled":[],"history":[],"stashedConfigs":{"p":"x"}})");
    }
    void undecodableRecordRefusesSwitches()
    {
        QFETCH(QByteArray, record);
        const QString sidecar = m_home->write(QuorlaneProjectConfig::sidecarPath(kProject), record);
        for (const bool enable : {false, true}) {
            const QString error = errorOf([&] {
                return enable ? m_service->enableProjectServer("p", kProject)
                              : m_service->disableProjectServer("o", kProject);
            });
            QVERIFY2(error.contains(sidecar), qPrintable(error));
        }
        QCOMPARE(TestHome::read(sidecar), record);
        QCOMPARE(TestHome::read(m_home->claudeJson()), kClaudeJson);
        off("p", "/work/other");
        QVERIFY(!projectServers("/work/other").contains("p"));
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
            off("p");
        const QByteArray record = TestHome::read(sidecar);
        const QByteArray live = JsonFile::serializeCompact(parse(TestHome::read(m_home->claudeJson())));
        m_home->write(m_home->claudeJson(), live);
        {
            FileSizeLimit limit(rlim_t(live.size() + 16));
            QVERIFY(!errorOf([&] {
                         return enabled ? m_service->enableProjectServer("p", kProject)
                                        : m_service->disableProjectServer("p", kProject);
                     }).isEmpty());
        }
        QCOMPARE(TestHome::read(m_home->claudeJson()), live);
        QCOMPARE(QFileInfo::exists(sidecar), enabled);
        QCOMPARE(TestHome::read(sidecar), record);
        QVERIFY(!QFileInfo::exists(ClaudeJsonLock::lockPathFor(m_home->claudeJson())));
    }
};

QTEST_GUILESS_MAIN(TestProjectToggle)
#include "tst_projecttoggle.moc"
