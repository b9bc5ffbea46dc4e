#include "TestHome.h"
#include "ToggleTestSupport.h"
#include "store/AtomicFile.h"
#include "store/ClaudeJsonLock.h"
#include "store/JsonFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>
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
    R"("custom":{"n":1.5,"i":2,"b":true,"z":null,"min":-9223372036854775808}},)"
    R"("y":{"type":"http","url":"http:\/\/127.0.0.1:1/mcp"}},)"
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
        // The user's file, as after `sudo -E`: a rewrite by root keeps its owner, group and mode.
        QVERIFY(::chmod(QFile::encodeName(live).constData(), 0640) == 0);
        const bool root = ::geteuid() == 0;
        if (root)
            QVERIFY(::chown(QFile::encodeName(live).constData(), 4321, 4322) == 0);
        // At the moment each file is replaced, the definition is in at least one of them:
        // switching off writes the stash first, switching on the live file first.
        QStringList replaced;
        AtomicFile::setReplaceObserver([&](const QString &path) {
            replaced << QFileInfo(path).fileName();
            const QByteArray stash = TestHome::read(m_home->stash());
            const bool stashed =
                !stash.isEmpty() && parse(stash)[desktop ? "desktop" : "global"].contains("x");
            if (!stashed && !parse(TestHome::read(live))["mcpServers"].contains("x"))
                replaced << QStringLiteral("definition in neither file");
        });
        const auto observing = qScopeGuard([] { AtomicFile::setReplaceObserver({}); });

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
        const QString liveName = QFileInfo(live).fileName();
        const QString stashName = QFileInfo(m_home->stash()).fileName();
        QCOMPARE(replaced, QStringList({stashName, liveName, liveName, stashName}));

        struct stat info = {};
        QVERIFY(::stat(QFile::encodeName(live).constData(), &info) == 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0640));
        if (root)
            QVERIFY(info.st_uid == 4321 && info.st_gid == 4322);
        // Definitions carry secrets: the stash and its folder are the user's alone.
        QVERIFY(::stat(QFile::encodeName(m_home->stash()).constData(), &info) == 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0600));
        QVERIFY(::stat(QFile::encodeName(QFileInfo(m_home->stash()).absolutePath()).constData(), &info) == 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0700));
        QVERIFY(QDir(QFileInfo(live).absolutePath())
                    .entryList({"*quorlane-*"}, QDir::Hidden | QDir::Files)
                    .isEmpty());
    }

    // Claude Code writes its file without "mcpServers" until a server is added.
    void switchOnIntoAFreshClaudeCodeFile()
    {
        m_home->write(m_home->claudeJson(), R"({"numStartups":1})");
        m_home->write(m_home->stash(), R"({"global":{"x":{"command":"x"}},"desktop":{}})");
        const Result on = setServer(*m_service, "x", MCPSource::global, true);
        QVERIFY2(on.ok, qPrintable(on.description));
        QCOMPARE_JSON(parse(TestHome::read(m_home->claudeJson())),
                      json::parse(R"({"numStartups":1,"mcpServers":{"x":{"command":"x"}}})"));
        QCOMPARE_JSON(parse(TestHome::read(m_home->stash()))["global"], json::object());
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
        QTest::newRow("missing Claude Desktop file")
            << QByteArray() << QByteArray() << MCPSource::desktop << false << invalid;
        // Deeper than the tree and its writer can recurse safely: refused before any write.
        const QByteArray deep = QByteArray(R"({"mcpServers":{"x":{"command":"x","d":)") +
                                QByteArray(100000, '[') + QByteArray(100000, ']') + "}}}";
        QTest::newRow("nested 100000 levels deep")
            << deep << QByteArray() << MCPSource::global << false << -1;
        // Elsewhere it is read, but its indented text would grow without bound: the streamed
        // rewrite stops and leaves no temporary file.
        QTest::newRow("nested 100000 levels deep elsewhere")
            << QByteArray(R"({"mcpServers":{"x":{}},"d":)") + QByteArray(100000, '[') +
                   QByteArray(100000, ']') + "}"
            << QByteArray() << MCPSource::global << false << -1;
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
        // A refusal that is no mutation error names the file it is about.
        QVERIFY(kind != -1 || result.description.contains(livePath));
        QCOMPARE(TestHome::read(livePath), live);
        QCOMPARE(TestHome::read(m_home->stash()), stash);
        QVERIFY(!m_service->mutationIsLocked());
        QVERIFY(!QFileInfo::exists(ClaudeJsonLock::lockPathFor(m_home->claudeJson())));
        QVERIFY(QDir(QFileInfo(livePath).absolutePath())
                    .entryList({"*quorlane-*"}, QDir::Hidden | QDir::Files)
                    .isEmpty());
    }

    // The first write fails (switching off the stash's, switching on the live file's): both files
    // keep their exact bytes and nothing is left behind.
    void failedFirstWriteChangesNothing_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::newRow("off: stash folder cannot be written") << false;
        QTest::newRow("on: live file cannot be replaced") << true;
    }
    void failedFirstWriteChangesNothing()
    {
        QFETCH(bool, enabled);
        // Compact on disk, so our pretty-printed rewrite is several times larger.
        const QByteArray live = JsonFile::serializeCompact(parse(kClaudeJson));
        m_home->write(m_home->claudeJson(), live);
        std::optional<QByteArray> stash;
        std::optional<FileSizeLimit> limit;
        if (enabled) {
            QVERIFY(setServer(*m_service, "x", MCPSource::global, false).ok);
            m_home->write(m_home->claudeJson(), live); // x live again and stashed
            stash = TestHome::read(m_home->stash());
            limit.emplace(rlim_t(live.size() + 16));
        } else {
            m_home->write(QFileInfo(m_home->stash()).absolutePath(), "not a folder");
        }
        const Result result = setServer(*m_service, "x", MCPSource::global, enabled);
        limit.reset();
        QVERIFY(!result.ok);
        QCOMPARE(TestHome::read(m_home->claudeJson()), live);
        QCOMPARE(QFileInfo::exists(m_home->stash()), stash.has_value());
        QCOMPARE(TestHome::read(m_home->stash()), stash.value_or(QByteArray()));
        QVERIFY(!m_service->mutationIsLocked());
        QVERIFY(!QFileInfo::exists(ClaudeJsonLock::lockPathFor(m_home->claudeJson())));
        QVERIFY(QDir(m_home->path()).entryList({"*quorlane-*"}, QDir::Hidden | QDir::Files).isEmpty());
    }

    // Switching on: the live file is written, then the stash write runs past the size limit (as
    // on a full disk). The stash was never replaced, so only the live file is put back, and the
    // message says that nothing changed instead of reporting a failed rollback of a file that
    // still holds its prior bytes.
    void failedStashWriteReportsNothingChanged()
    {
        const QByteArray stash = "{\"global\":{\"x\":{\"command\":\"x\"},\"big\":{\"command\":\"" +
                                 QByteArray(4000, 'b') + "\"}},\"desktop\":{}}";
        m_home->write(m_home->stash(), stash);
        m_home->write(m_home->claudeJson(), R"({"mcpServers":{}})");
        std::optional<FileSizeLimit> limit(std::in_place, rlim_t(3000));
        const Result result = setServer(*m_service, "x", MCPSource::global, true);
        limit.reset();
        QVERIFY(result.fileSystemError);
        QCOMPARE(result.description, "Could not write " + m_home->stash() +
                                         ": File too large. MCP server \u2018x\u2019 was not switched on; " +
                                         m_home->claudeJson() + " and " + m_home->stash() +
                                         " are as they were.");
        QCOMPARE(TestHome::read(m_home->claudeJson()), QByteArray(R"({"mcpServers":{}})"));
        QCOMPARE(TestHome::read(m_home->stash()), stash); // a write that fails replaces nothing
    }

    // What can be at the lock's path: a holder's folder (fresh, stale, from the future) or
    // something that is no lock at all and never goes away by itself.
    void lockHeldByAnotherProgram_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<bool>("switches");
        QTest::newRow("stale lock folder is taken over") << "stale" << true;
        QTest::newRow("lock folder dated in the future is stale") << "future" << true;
        QTest::newRow("fresh lock folder: gives up, writes nothing") << "fresh" << false;
        QTest::newRow("plain file") << "file" << false;
        QTest::newRow("folder that is not empty") << "full" << false;
    }
    void lockHeldByAnotherProgram()
    {
        QFETCH(QString, state);
        QFETCH(bool, switches);
        const QString lockPath = ClaudeJsonLock::lockPathFor(m_home->claudeJson());
        const QByteArray lockName = QFile::encodeName(lockPath);
        if (state == "file")
            m_home->write(lockPath, "");
        else
            QVERIFY(QDir().mkdir(lockPath));
        if (state == "full")
            m_home->write(lockPath + "/x", "");
        QTimer refresher; // a live holder keeps its folder fresh
        connect(&refresher, &QTimer::timeout, this, [&] { utime(lockName.constData(), nullptr); });
        const auto dated = [&](int ageSeconds) {
            const utimbuf times{time(nullptr) - ageSeconds, time(nullptr) - ageSeconds};
            return utime(lockName.constData(), &times) == 0;
        };
        if (state == "stale")
            QVERIFY(dated(30));
        else if (state == "future")
            QVERIFY(dated(-3600));
        else if (state == "fresh")
            refresher.start(1000);
        QElapsedTimer waited;
        waited.start();
        const Result result = setServer(*m_service, "x", MCPSource::global, false);
        refresher.stop();
        QCOMPARE(result.ok, switches);
        QCOMPARE(QFileInfo::exists(lockPath) || QFileInfo(lockPath).isSymLink(), !result.ok);
        if (result.ok) {
            QVERIFY(!parse(TestHome::read(m_home->claudeJson()))["mcpServers"].contains("x"));
        } else {
            QVERIFY(result.fileSystemError);
            QVERIFY2(result.description.contains(lockPath), qPrintable(result.description));
            QCOMPARE(TestHome::read(m_home->claudeJson()), kClaudeJson);
            QVERIFY(!QFileInfo::exists(m_home->stash()));
            // Nothing that is not a lock folder goes away by waiting: said at once.
            QVERIFY(state == "fresh" || waited.elapsed() < 2000);
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
