#include "TestHome.h"
#include "ToggleTestSupport.h"
#include "store/ClaudeJsonLock.h"
#include "store/JsonFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>
#include <utime.h>

using namespace ToggleTestSupport;
using Kind = MCPConfigMutationError::Kind;
using nlohmann::json;

namespace {

// Members the store does not own, of every JSON kind, beside two servers; "x" carries members
// outside the seven definition keys.
const QByteArray kClaudeJson =
    R"({"numStartups":3,"tips":[1,2.5,"s",false,null],)"
    R"("mcpServers":{"x":{"command":"npx","args":["-y","pkg"],"env":{"K":"V"},)"
    R"("custom":{"n":1.5,"i":2,"b":true,"z":null}},"y":{"type":"http","url":"http:\/\/127.0.0.1:1/mcp"}},)"
    R"("projects":{"/p":{"allowedTools":["a"],"mcpServers":{"q":{"command":"q"}}}},"big":12345678901234})";
const QByteArray kDesktop =
    R"({"globalShortcut":"Ctrl+Space","mcpServers":{"x":{"command":"node","args":["d.js"]}}})";

} // namespace

class TestGlobalToggle : public ToggleTestSupport::ToggleFixture
{
    Q_OBJECT

public:
    TestGlobalToggle() : ToggleFixture(kClaudeJson) {}

private Q_SLOTS:
    void errorTexts()
    {
        using E = MCPConfigMutationError;
        QCOMPARE(E::rollbackFailed("A", "B; C").description(),
                 QStringLiteral("The MCP configuration change failed (A), and rollback also failed: B; C"));
        QCOMPARE(E::unsupportedSource().description(), QStringLiteral("This MCP source is read-only."));
        QCOMPARE(E::verificationFailed().description(),
                 QStringLiteral("The MCP configuration change could not be verified."));
    }

    void offAndOnKeepsEveryOtherMember_data()
    {
        QTest::addColumn<MCPSource>("source");
        QTest::newRow("global") << MCPSource::global;
        QTest::newRow("desktop") << MCPSource::desktop;
    }
    void offAndOnKeepsEveryOtherMember()
    {
        QFETCH(MCPSource, source);
        const bool desktop = source == MCPSource::desktop;
        if (desktop)
            m_home->write(m_home->desktopConfig(), kDesktop);
        const QString live = desktop ? m_home->desktopConfig() : m_home->claudeJson();
        const json original = parse(TestHome::read(live));
        json without = original;
        without["mcpServers"].erase("x");

        QVERIFY(setServer(*m_service, "x", source, false).ok);
        QCOMPARE_JSON(parse(TestHome::read(live)), without);
        const json stash = parse(TestHome::read(m_home->stash()));
        QCOMPARE_JSON(stash[desktop ? "desktop" : "global"]["x"], original["mcpServers"]["x"]);
        QCOMPARE_JSON(stash[desktop ? "global" : "desktop"], json::object());
        QVERIFY(m_service->disabledGlobalServers().contains({"x", source}));
        if (desktop)
            QCOMPARE(TestHome::read(m_home->claudeJson()), kClaudeJson);

        const Result on = setServer(*m_service, "x", source, true);
        QVERIFY2(on.ok, qPrintable(on.description));
        QCOMPARE_JSON(parse(TestHome::read(live)), original);
        QCOMPARE_JSON(parse(TestHome::read(m_home->stash())), json::parse(R"({"global":{},"desktop":{}})"));
        QVERIFY(m_service->disabledGlobalServers().isEmpty());
        QVERIFY(!QFileInfo::exists(ClaudeJsonLock::lockPathFor(m_home->claudeJson())));
    }

    // Refused before anything is written: no file changes or appears, the lock folder is gone.
    void refusalsWriteNothing_data()
    {
        QTest::addColumn<QByteArray>("live");
        QTest::addColumn<QByteArray>("stash");
        QTest::addColumn<MCPSource>("source");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<int>("kind");
        const int invalid = int(Kind::invalidConfiguration);
        QTest::newRow("no live file")
            << QByteArray() << QByteArray() << MCPSource::global << false << invalid;
        QTest::newRow("live file not JSON")
            << QByteArray("{\"mcpServers\":") << QByteArray() << MCPSource::global << false << invalid;
        QTest::newRow("stash without desktop")
            << kClaudeJson << QByteArray(R"({"global":{}})") << MCPSource::global << false << invalid;
        QTest::newRow("stash bucket not an object, switching on")
            << kClaudeJson << QByteArray(R"({"global":{},"desktop":"x"})") << MCPSource::global << true
            << invalid;
        QTest::newRow("missing Claude Desktop file")
            << QByteArray() << QByteArray() << MCPSource::desktop << false << invalid;
        QTest::newRow("on, not stashed") << kClaudeJson << QByteArray(R"({"global":{},"desktop":{}})")
                                         << MCPSource::global << true << int(Kind::serverNotFound);
        // Held by someone else: a refusal that took the lock would wait here forever.
        QTest::newRow("project is read-only")
            << kClaudeJson << QByteArray() << MCPSource::project << false << int(Kind::unsupportedSource);
    }
    void refusalsWriteNothing()
    {
        QFETCH(QByteArray, live);
        QFETCH(QByteArray, stash);
        QFETCH(MCPSource, source);
        QFETCH(bool, enabled);
        QFETCH(int, kind);
        const QString livePath =
            source == MCPSource::desktop ? m_home->desktopConfig() : m_home->claudeJson();
        live.isEmpty() ? void(QFile::remove(livePath)) : void(m_home->write(livePath, live));
        if (!stash.isEmpty())
            m_home->write(m_home->stash(), stash);
        if (source == MCPSource::project)
            QCoro::waitFor(m_service->acquireMutationLock());
        const Result result = setServer(*m_service, "x", source, enabled);
        if (source == MCPSource::project)
            m_service->releaseMutationLock();
        QCOMPARE(result.mutationKind.value_or(-1), kind);
        QCOMPARE(TestHome::read(livePath), live);
        QCOMPARE(TestHome::read(m_home->stash()), stash);
        QVERIFY(!m_service->mutationIsLocked());
        QVERIFY(!QFileInfo::exists(ClaudeJsonLock::lockPathFor(m_home->claudeJson())));
    }

    // A write fails after the other file was written: both files get their exact prior bytes
    // back (a stash that did not exist is removed again).
    void failedWriteRestoresBothFiles_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("stashFolderIsAFile");
        QTest::newRow("off: stash folder cannot be written") << false << true;
        QTest::newRow("off: live file cannot be replaced, after the stash was written") << false << false;
        QTest::newRow("on: live file cannot be replaced") << true << false;
    }
    void failedWriteRestoresBothFiles()
    {
        QFETCH(bool, enabled);
        QFETCH(bool, stashFolderIsAFile);
        // Compact on disk, so our pretty-printed rewrite is several times larger.
        const QByteArray live = JsonFile::serializeCompact(parse(kClaudeJson));
        m_home->write(m_home->claudeJson(), live);
        std::optional<QByteArray> stash;
        if (enabled) {
            QVERIFY(setServer(*m_service, "x", MCPSource::global, false).ok);
            m_home->write(m_home->claudeJson(), live); // x live again and stashed
            stash = TestHome::read(m_home->stash());
        }
        if (stashFolderIsAFile)
            m_home->write(QFileInfo(m_home->stash()).absolutePath(), "not a folder");
        std::optional<FileSizeLimit> limit;
        if (!stashFolderIsAFile)
            limit.emplace(rlim_t(live.size() + 16));
        const Result result = setServer(*m_service, "x", MCPSource::global, enabled);
        limit.reset();
        QVERIFY(!result.ok);
        QCOMPARE(TestHome::read(m_home->claudeJson()), live);
        QCOMPARE(QFileInfo::exists(m_home->stash()), stash.has_value());
        QCOMPARE(TestHome::read(m_home->stash()), stash.value_or(QByteArray()));
        QVERIFY(!m_service->mutationIsLocked());
        QVERIFY(!QFileInfo::exists(ClaudeJsonLock::lockPathFor(m_home->claudeJson())));
    }

    void rollbackThatFailsReportsBoth()
    {
        // A folder stands where the stash should be: its write fails, and so does removing it.
        QDir().mkpath(m_home->stash());
        const Result result = setServer(*m_service, "x", MCPSource::global, false);
        QCOMPARE(result.mutationKind.value_or(-1), int(Kind::rollbackFailed));
        QVERIFY2(
            result.description.startsWith("The MCP configuration change failed (Could not write ") &&
                result.description.contains("), and rollback also failed: disabled state: Could not remove "),
            qPrintable(result.description));
        QCOMPARE(TestHome::read(m_home->claudeJson()), kClaudeJson);
    }

    void lockHeldByAnotherProgram_data()
    {
        QTest::addColumn<int>("ageSeconds");
        QTest::newRow("stale lock folder is taken over") << 30;
        QTest::newRow("released while waiting") << -1;
        QTest::newRow("fresh lock folder: gives up, writes nothing") << 0;
    }
    void lockHeldByAnotherProgram()
    {
        QFETCH(int, ageSeconds);
        const QString lockPath = ClaudeJsonLock::lockPathFor(m_home->claudeJson());
        QVERIFY(QDir().mkdir(lockPath));
        const QByteArray lockName = QFile::encodeName(lockPath);
        QTimer refresher; // a live holder keeps its folder fresh
        connect(&refresher, &QTimer::timeout, this, [&] { utime(lockName.constData(), nullptr); });
        if (ageSeconds < 0) {
            QTimer::singleShot(300, this, [lockPath] { QDir().rmdir(lockPath); });
        } else if (ageSeconds > 0) {
            const utimbuf times{time(nullptr) - ageSeconds, time(nullptr) - ageSeconds};
            QCOMPARE(utime(lockName.constData(), &times), 0);
        } else {
            refresher.start(1000);
        }
        const Result result = setServer(*m_service, "x", MCPSource::global, false);
        refresher.stop();
        QCOMPARE(result.ok, ageSeconds != 0);
        QCOMPARE(QFileInfo::exists(lockPath), !result.ok); // a lock that is not ours stays
        if (result.ok) {
            QVERIFY(!parse(TestHome::read(m_home->claudeJson()))["mcpServers"].contains("x"));
        } else {
            QVERIFY(result.fileSystemError);
            QVERIFY2(result.description.contains(lockPath), qPrintable(result.description));
            QCOMPARE(TestHome::read(m_home->claudeJson()), kClaudeJson);
            QVERIFY(!QFileInfo::exists(m_home->stash()));
        }
    }

    // A write Claude Code began before ours can land just after, from a copy without the server we
    // switched on: the definition must not end up in neither file, it goes back to the stash.
    void staleWriteAfterSwitchingOnKeepsTheDefinition()
    {
        QVERIFY(setServer(*m_service, "x", MCPSource::global, false).ok);
        const QByteArray withoutX = TestHome::read(m_home->claudeJson());
        QVERIFY(setServer(*m_service, "x", MCPSource::global, true).ok);
        m_home->write(m_home->claudeJson(), withoutX);
        QTRY_VERIFY_WITH_TIMEOUT(parse(TestHome::read(m_home->stash()))["global"].contains("x"), 10000);
        QCOMPARE_JSON(parse(TestHome::read(m_home->stash()))["global"]["x"],
                      parse(kClaudeJson)["mcpServers"]["x"]);
        QTRY_VERIFY_WITH_TIMEOUT(m_service->disabledGlobalServers().contains({"x", MCPSource::global}),
                                 10000);
    }
};

QTEST_GUILESS_MAIN(TestGlobalToggle)
#include "tst_globaltoggle.moc"
