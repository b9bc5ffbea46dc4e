#include "TestHome.h"
#include "ToggleTestSupport.h"
#include "store/ClaudeJsonLock.h"
#include "store/JsonFile.h"
#include "store/MCPConfigMutationError.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>
#include <utime.h>

using namespace ToggleTestSupport;
using Kind = MCPConfigMutationError::Kind;

namespace {

// Members the store does not own, at every level and of every JSON kind, beside two servers;
// "x" carries members outside the seven definition keys.
const QByteArray kClaudeJson =
    R"({"numStartups":3,"tips":[1,2.5,"s",false,null],)"
    R"("mcpServers":{"x":{"command":"npx","args":["-y","pkg"],"env":{"K":"V"},)"
    R"("custom":{"n":1.5,"i":2,"b":true,"z":null}},)"
    R"("y":{"type":"http","url":"http://127.0.0.1:1/mcp"}},)"
    R"("projects":{"/p":{"allowedTools":["a"],"mcpServers":{"q":{"command":"q"}}}},)"
    R"("big":12345678901234})";

const QByteArray kDesktop =
    R"({"globalShortcut":"Ctrl+Space","mcpServers":{"d":{"command":"node","args":["d.js"]}}})";

nlohmann::json without(nlohmann::json root, const std::string &server)
{
    root["mcpServers"].erase(server);
    return root;
}

} // namespace

class TestGlobalToggle : public QObject
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

    void errorTexts_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("expected");
        QTest::newRow("serverNotFound")
            << MCPConfigMutationError::serverNotFound(QStringLiteral("x")).description()
            << QStringLiteral("MCP server \u2018x\u2019 was not found.");
        QTest::newRow("rollbackFailed")
            << MCPConfigMutationError::rollbackFailed(QStringLiteral("A"), QStringLiteral("B; C"))
                   .description()
            << QStringLiteral("The MCP configuration change failed (A), and rollback also failed: B; C");
        QTest::newRow("unsupportedSource") << MCPConfigMutationError::unsupportedSource().description()
                                           << QStringLiteral("This MCP source is read-only.");
        QTest::newRow("invalidConfiguration") << MCPConfigMutationError::invalidConfiguration().description()
                                              << QStringLiteral("The MCP configuration could not be read.");
        QTest::newRow("verificationFailed")
            << MCPConfigMutationError::verificationFailed().description()
            << QStringLiteral("The MCP configuration change could not be verified.");
    }
    void errorTexts()
    {
        QFETCH(QString, description);
        QFETCH(QString, expected);
        QCOMPARE(description, expected);
    }

    void offAndOnKeepsEveryOtherMember()
    {
        const nlohmann::json original = parse(kClaudeJson);
        QVERIFY(!QFileInfo::exists(QFileInfo(m_home->stash()).absolutePath()));

        QVERIFY(setServer(*m_service, QStringLiteral("x"), MCPSource::global, false).ok);
        QCOMPARE_JSON(parse(TestHome::read(m_home->claudeJson())), without(original, "x"));
        // The stash keeps the definition exactly, unknown members included; its folder was created.
        const nlohmann::json stash = parse(TestHome::read(m_home->stash()));
        QCOMPARE_JSON(stash["global"]["x"], original["mcpServers"]["x"]);
        QCOMPARE_JSON(stash["desktop"], nlohmann::json::object());
        QVERIFY(m_service->disabledGlobalServers().contains({QStringLiteral("x"), MCPSource::global}));
        QCOMPARE(m_service->globalServers().size(), 2); // still listed, from the stash

        {
            const Result r = setServer(*m_service, QStringLiteral("x"), MCPSource::global, true);
            QVERIFY2(r.ok, qPrintable(r.description));
        }
        QCOMPARE_JSON(parse(TestHome::read(m_home->claudeJson())), original);
        QCOMPARE_JSON(parse(TestHome::read(m_home->stash()))["global"], nlohmann::json::object());
        QVERIFY(m_service->disabledGlobalServers().isEmpty());
        QVERIFY(!QFileInfo::exists(ClaudeJsonLock::lockPathFor(m_home->claudeJson())));
    }

    void offOnlyServerLeavesEmptyObject()
    {
        m_home->write(m_home->claudeJson(), R"({"a":1,"mcpServers":{"x":{"command":"c"}}})");
        QVERIFY(setServer(*m_service, QStringLiteral("x"), MCPSource::global, false).ok);
        QCOMPARE_JSON(parse(TestHome::read(m_home->claudeJson())), parse(R"({"a":1,"mcpServers":{}})"));
    }

    void offTwiceIsNotFound()
    {
        QVERIFY(setServer(*m_service, QStringLiteral("x"), MCPSource::global, false).ok);
        const QByteArray live = TestHome::read(m_home->claudeJson());
        const QByteArray stash = TestHome::read(m_home->stash());
        QSignalSpy reloads(m_service.get(), &MCPConfigService::globalServersChanged);

        const Result second = setServer(*m_service, QStringLiteral("x"), MCPSource::global, false);
        QCOMPARE(second.mutationKind.value_or(-1), int(Kind::serverNotFound));
        QCOMPARE(second.description, QStringLiteral("MCP server \u2018x\u2019 was not found."));
        QCOMPARE(TestHome::read(m_home->claudeJson()), live);
        QCOMPARE(TestHome::read(m_home->stash()), stash);
        QCOMPARE(reloads.count(), 1);
    }

    void onReplacesDefinitionAddedAgainByHand()
    {
        QVERIFY(setServer(*m_service, QStringLiteral("x"), MCPSource::global, false).ok);
        JsonFile::rewrite(m_home->claudeJson(), [](nlohmann::json &root) {
            root["mcpServers"]["x"] = {{"command", "new"}};
        });
        {
            const Result r = setServer(*m_service, QStringLiteral("x"), MCPSource::global, true);
            QVERIFY2(r.ok, qPrintable(r.description));
        }
        QCOMPARE_JSON(parse(TestHome::read(m_home->claudeJson()))["mcpServers"]["x"],
                      parse(kClaudeJson)["mcpServers"]["x"]);
        QVERIFY(!parse(TestHome::read(m_home->stash()))["global"].contains("x"));
    }

    void desktopServerMovesToItsOwnBucket()
    {
        m_home->write(m_home->desktopConfig(), kDesktop);
        QVERIFY(setServer(*m_service, QStringLiteral("d"), MCPSource::desktop, false).ok);
        const nlohmann::json stash = parse(TestHome::read(m_home->stash()));
        QCOMPARE_JSON(stash["desktop"]["d"], parse(kDesktop)["mcpServers"]["d"]);
        QCOMPARE_JSON(stash["global"], nlohmann::json::object());
        QCOMPARE(TestHome::read(m_home->claudeJson()), kClaudeJson);
        QVERIFY(m_service->disabledGlobalServers().contains({QStringLiteral("d"), MCPSource::desktop}));
        QVERIFY(setServer(*m_service, QStringLiteral("d"), MCPSource::desktop, true).ok);
        QCOMPARE_JSON(parse(TestHome::read(m_home->desktopConfig())), parse(kDesktop));
    }

    void readOnlySourcesAreRefusedAtOnce_data()
    {
        QTest::addColumn<MCPSource>("source");
        QTest::newRow("project") << MCPSource::project;
        QTest::newRow("managed") << MCPSource::managed;
    }
    void readOnlySourcesAreRefusedAtOnce()
    {
        QFETCH(MCPSource, source);
        // Held by someone else: a refusal that took the lock would wait here forever.
        QCoro::waitFor(m_service->acquireMutationLock());
        const Result result = setServer(*m_service, QStringLiteral("x"), source, false);
        m_service->releaseMutationLock();
        QCOMPARE(result.mutationKind.value_or(-1), int(Kind::unsupportedSource));
        QCOMPARE(result.description, QStringLiteral("This MCP source is read-only."));
        QCOMPARE(TestHome::read(m_home->claudeJson()), kClaudeJson);
    }

    // Refused before anything is written: no file changes, none is created, nothing reloads.
    void invalidConfigurationWritesNothing_data()
    {
        QTest::addColumn<QByteArray>("live");
        QTest::addColumn<QByteArray>("stash");
        QTest::addColumn<MCPSource>("source");
        QTest::addColumn<bool>("enabled");
        const QByteArray noStash;
        QTest::newRow("no live file") << QByteArray() << noStash << MCPSource::global << false;
        QTest::newRow("live file not JSON")
            << QByteArray("{\"mcpServers\":") << noStash << MCPSource::global << false;
        QTest::newRow("live top level an array")
            << QByteArray("[1]") << noStash << MCPSource::global << false;
        QTest::newRow("live object empty") << QByteArray("{}") << noStash << MCPSource::global << true;
        QTest::newRow("no mcpServers") << QByteArray(R"({"a":1})") << noStash << MCPSource::global << false;
        QTest::newRow("mcpServers not an object")
            << QByteArray(R"({"mcpServers":[]})") << noStash << MCPSource::global << false;
        QTest::newRow("stash not JSON")
            << kClaudeJson << QByteArray("{\"global\"") << MCPSource::global << false;
        QTest::newRow("stash without desktop")
            << kClaudeJson << QByteArray(R"({"global":{}})") << MCPSource::global << false;
        QTest::newRow("stash bucket not an object, switching on")
            << kClaudeJson << QByteArray(R"({"global":{},"desktop":"x"})") << MCPSource::global << true;
        QTest::newRow("missing Claude Desktop file, off")
            << QByteArray() << noStash << MCPSource::desktop << false;
        QTest::newRow("missing Claude Desktop file, on")
            << QByteArray() << noStash << MCPSource::desktop << true;
    }
    void invalidConfigurationWritesNothing()
    {
        QFETCH(QByteArray, live);
        QFETCH(QByteArray, stash);
        QFETCH(MCPSource, source);
        QFETCH(bool, enabled);
        const QString livePath =
            source == MCPSource::desktop ? m_home->desktopConfig() : m_home->claudeJson();
        if (live.isEmpty())
            QFile::remove(livePath);
        else
            m_home->write(livePath, live);
        if (!stash.isEmpty())
            m_home->write(m_home->stash(), stash);
        QSignalSpy loads(m_service.get(), &MCPConfigService::isLoadingChanged);

        const Result result = setServer(*m_service, QStringLiteral("x"), source, enabled);
        QCOMPARE(result.mutationKind.value_or(-1), int(Kind::invalidConfiguration));
        QCOMPARE(result.description, QStringLiteral("The MCP configuration could not be read."));
        QCOMPARE(QFileInfo::exists(livePath), !live.isEmpty());
        if (!live.isEmpty())
            QCOMPARE(TestHome::read(livePath), live);
        QCOMPARE(TestHome::read(m_home->stash()), stash);
        QCOMPARE(QFileInfo::exists(m_home->stash()), !stash.isEmpty());
        QCOMPARE(loads.count(), 0);
        QVERIFY(!m_service->mutationIsLocked());
        QVERIFY(!QFileInfo::exists(ClaudeJsonLock::lockPathFor(m_home->claudeJson())));
    }

    // A write fails after the other file was written: both files get their exact prior bytes
    // back (a stash that did not exist is removed again) and the cause is reported.
    void failedWriteRestoresBothFiles_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("fault");
        QTest::newRow("off: stash folder is a file") << false << QStringLiteral("stash folder is a file");
        QTest::newRow("off: live file cannot be replaced, after the stash was written")
            << false << QStringLiteral("live file too big");
        QTest::newRow("on: live file cannot be replaced") << true << QStringLiteral("live file too big");
    }
    void failedWriteRestoresBothFiles()
    {
        QFETCH(bool, enabled);
        QFETCH(QString, fault);
        // Compact on disk, so our pretty-printed rewrite is several times larger.
        const QByteArray live = JsonFile::serializeCompact(parse(kClaudeJson));
        m_home->write(m_home->claudeJson(), live);
        std::optional<QByteArray> stash;
        if (enabled) {
            QVERIFY(setServer(*m_service, QStringLiteral("x"), MCPSource::global, false).ok);
            m_home->write(m_home->claudeJson(), live); // x live again and stashed
            stash = TestHome::read(m_home->stash());
        }
        const QString quorlaneDir = QFileInfo(m_home->stash()).absolutePath();
        std::unique_ptr<FileSizeLimit> limit;
        if (fault == QLatin1String("stash folder is a file")) {
            m_home->write(quorlaneDir, "not a folder");
        } else {
            limit = std::make_unique<FileSizeLimit>(rlim_t(live.size() + 16));
        }

        const Result result = setServer(*m_service, QStringLiteral("x"), MCPSource::global, enabled);
        limit.reset();
        QVERIFY(!result.ok);
        QCOMPARE(TestHome::read(m_home->claudeJson()), live);
        QCOMPARE(QFileInfo::exists(m_home->stash()), stash.has_value());
        if (stash)
            QCOMPARE(TestHome::read(m_home->stash()), *stash);
        QVERIFY(!m_service->mutationIsLocked());
        QVERIFY(!QFileInfo::exists(ClaudeJsonLock::lockPathFor(m_home->claudeJson())));
    }

    void rollbackThatFailsReportsBoth()
    {
        // A folder stands where the stash should be: its write fails, and so does removing it.
        QDir().mkpath(m_home->stash());
        const Result result = setServer(*m_service, QStringLiteral("x"), MCPSource::global, false);
        QCOMPARE(result.mutationKind.value_or(-1), int(Kind::rollbackFailed));
        QVERIFY2(result.description.startsWith(
                     QStringLiteral("The MCP configuration change failed (Could not write ")),
                 qPrintable(result.description));
        QVERIFY2(result.description.contains(
                     QStringLiteral("), and rollback also failed: disabled state: Could not remove ")),
                 qPrintable(result.description));
        QCOMPARE(TestHome::read(m_home->claudeJson()), kClaudeJson);
    }

    void lockHeldByAnotherProgram_data()
    {
        QTest::addColumn<int>("ageSeconds");
        QTest::addColumn<bool>("succeeds");
        QTest::newRow("stale lock folder is taken over") << 30 << true;
        QTest::newRow("released while waiting") << -1 << true;
        QTest::newRow("fresh lock folder: gives up, writes nothing") << 0 << false;
    }
    void lockHeldByAnotherProgram()
    {
        QFETCH(int, ageSeconds);
        QFETCH(bool, succeeds);
        const QString lockPath = ClaudeJsonLock::lockPathFor(m_home->claudeJson());
        QVERIFY(QDir().mkdir(lockPath));
        if (ageSeconds < 0) {
            QTimer::singleShot(300, this, [lockPath] { QDir().rmdir(lockPath); });
        } else if (ageSeconds) {
            const time_t then = time(nullptr) - ageSeconds;
            const utimbuf times{then, then};
            QCOMPARE(utime(QFile::encodeName(lockPath).constData(), &times), 0);
        } else {
            // Keeps refreshing it, as a live holder does.
            m_refresher.start();
        }
        const Result result = setServer(*m_service, QStringLiteral("x"), MCPSource::global, false);
        m_refresher.stop();
        QCOMPARE(result.ok, succeeds);
        if (succeeds) {
            QVERIFY(!QFileInfo::exists(lockPath));
            QVERIFY(!parse(TestHome::read(m_home->claudeJson()))["mcpServers"].contains("x"));
        } else {
            QVERIFY(result.fileSystemError);
            QVERIFY2(result.description.contains(lockPath), qPrintable(result.description));
            QCOMPARE(TestHome::read(m_home->claudeJson()), kClaudeJson);
            QVERIFY(!QFileInfo::exists(m_home->stash()));
            QVERIFY(QFileInfo::exists(lockPath)); // not ours to remove
            QVERIFY(!m_service->mutationIsLocked());
        }
    }

    // Claude Code writes even while the lock folder is held; a write it began before ours can
    // land just after, from a copy without the server we switched on. The definition must not
    // end up in neither file: it goes back to the stash.
    void staleWriteAfterSwitchingOnKeepsTheDefinition()
    {
        QVERIFY(setServer(*m_service, QStringLiteral("x"), MCPSource::global, false).ok);
        const QByteArray withoutX = TestHome::read(m_home->claudeJson());
        QVERIFY(setServer(*m_service, QStringLiteral("x"), MCPSource::global, true).ok);
        QVERIFY(!parse(TestHome::read(m_home->stash()))["global"].contains("x"));
        m_home->write(m_home->claudeJson(), withoutX); // the other program's late write

        QTRY_VERIFY_WITH_TIMEOUT(parse(TestHome::read(m_home->stash()))["global"].contains("x"), 10000);
        QCOMPARE_JSON(parse(TestHome::read(m_home->stash()))["global"]["x"],
                      parse(kClaudeJson)["mcpServers"]["x"]);
        QTRY_VERIFY_WITH_TIMEOUT(
            m_service->disabledGlobalServers().contains({QStringLiteral("x"), MCPSource::global}), 10000);
    }

    void userFolderMissing()
    {
        ConfigPaths paths = ConfigPaths::forCurrentUser();
        paths.claudeJsonPath = m_home->path() + QStringLiteral("/gone/.claude.json");
        MCPConfigService service(paths);
        const Result result = setServer(service, QStringLiteral("x"), MCPSource::global, false);
        QCOMPARE(result.mutationKind.value_or(-1), int(Kind::invalidConfiguration));
        QVERIFY(!QFileInfo::exists(m_home->path() + QStringLiteral("/gone")));
    }

    void liveFileChangedBeforeRenameIsNotOverwritten()
    {
        const QString path = m_home->write(QStringLiteral("f.json"), "theirs");
        QVERIFY(!JsonFile::writeAtomicallyIfUnchanged(path, "ours", "what we read"));
        QCOMPARE(TestHome::read(path), QByteArray("theirs"));
        QVERIFY(JsonFile::writeAtomicallyIfUnchanged(path, "ours", "theirs"));
        QCOMPARE(TestHome::read(path), QByteArray("ours"));
        QCOMPARE(QDir(m_home->path()).entryList({QStringLiteral("f.json*")}, QDir::Files).size(), 1);
    }

    void togglesQueueBehindTheMutationLock()
    {
        // Two switches started together: the second waits for the first, both succeed.
        auto first = m_service->setServer(QStringLiteral("x"), MCPSource::global, false);
        auto second = m_service->setServer(QStringLiteral("y"), MCPSource::global, false);
        QCoro::waitFor(std::move(first));
        QCoro::waitFor(std::move(second));
        const nlohmann::json stash = parse(TestHome::read(m_home->stash()));
        QVERIFY(stash["global"].contains("x"));
        QVERIFY(stash["global"].contains("y"));
        QCOMPARE_JSON(parse(TestHome::read(m_home->claudeJson()))["mcpServers"], nlohmann::json::object());
    }

public:
    TestGlobalToggle()
    {
        m_refresher.setInterval(1000);
        connect(&m_refresher, &QTimer::timeout, this, [this] {
            utime(QFile::encodeName(ClaudeJsonLock::lockPathFor(m_home->claudeJson())).constData(), nullptr);
        });
    }

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<MCPConfigService> m_service;
    QTimer m_refresher;
};

QTEST_GUILESS_MAIN(TestGlobalToggle)
#include "tst_globaltoggle.moc"
