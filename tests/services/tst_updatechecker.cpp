#include "FeedServer.h"
#include "TestHome.h"
#include "cli/Cli.h"
#include "services/UpdateChecker.h"
#include "services/UpdateFeed.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using UpdateFeed::VersionComparison;
using Versions = QList<qint64>;
using Kind = CheckState::Kind;

// Sets `done` when `task` has finished. Unlike a continuation attached to the task, this
// coroutine owns the task, so nothing dangles when the checker dies first.
QCoro::Task<> markWhenDone(QCoro::Task<> task, bool &done)
{
    co_await std::move(task);
    done = true;
}

class TestUpdateChecker : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<FeedServer> m_server;

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_server = std::make_unique<FeedServer>();
        qputenv("QUORLANE_FEED_URL", m_server->url());
    }
    void cleanup()
    {
        qunsetenv("QUORLANE_FEED_URL");
        m_server.reset();
        m_home.reset();
    }

    // `numbers`: how `a` parses, empty when it is refused.
    void versions_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<Versions>("numbers");
        QTest::addColumn<VersionComparison>("comparison");
        const auto row = [](const char *name, QString a, QString b, Versions numbers, VersionComparison c) {
            QTest::newRow(name) << a << b << numbers << c;
        };
        row("first difference decides", "2.0", "1.99.99", {2, 0}, VersionComparison::newer);
        row("one past 64 bits", "9223372036854775808", "1", {}, VersionComparison::undecidable);
        row("leading letter", "v1.2", "1", {}, VersionComparison::undecidable);
        row("non-ASCII digits", QString::fromUtf8("\u0661.\u0662"), "1", {}, VersionComparison::undecidable);
        row("right side does not parse", "2.0", "1.0-beta", {2, 0}, VersionComparison::undecidable);
    }
    void versions()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(Versions, numbers);
        QFETCH(VersionComparison, comparison);
        QCOMPARE(UpdateFeed::parseVersion(a).value_or(Versions{}), numbers);
        QCOMPARE(UpdateFeed::compareVersions(a, b), comparison);
    }

    // Each check follows a successful one, so a failure must also forget the earlier release.
    // Status 0: nothing listens any more.
    void checkOutcome_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("running");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("latestVersion");
        QTest::addColumn<QString>("changelogURL");
        const QString site = QStringLiteral("https://quorlane.dev");
        const QString feed = QStringLiteral("Invalid update feed.");
        const QString response = QStringLiteral("Invalid update response.");
        const QString couldNot = QStringLiteral("Could not check for updates.");
        const auto row = [](const char *name, int status, const char *body, const char *running, Kind kind,
                            QString message = {}, QString latest = {}, QString url = {}) {
            QTest::newRow(name) << status << QByteArray(body) << QString::fromLatin1(running) << kind
                                << message << latest << url;
        };
        row("object, newer, with notes", 200,
            "{\"version\":\"1.10\",\"url\":\"https://quorlane.dev/c#1.10\"}", "1.9", Kind::updateAvailable,
            {}, "1.10", "https://quorlane.dev/c#1.10");
        row("object, the same version written longer, status 201", 201, R"({"version":"1.2.0"})", "1.2",
            Kind::upToDate, {}, "1.2.0", site);
        row("array: first object read, its url not a web page", 200,
            R"([{"version":"2.0","url":"file:///Applications/Calculator.app"},{"version":"3.0"}])", "1.0",
            Kind::updateAvailable, {}, "2.0", site);
        row("running version that does not parse", 200, R"({"version":"1.3"})", "1.2-beta", Kind::failed,
            feed, "1.3", site);
        row("empty array", 200, "[]", "1.0", Kind::failed, response);
        row("object without version", 200, "{\"url\":\"https://quorlane.dev\"}", "1.0", Kind::failed, feed);
        row("version with two dots in a row", 200, R"({"version":"2..0"})", "1.0", Kind::failed, feed);
        row("status 404", 404, R"({"version":"9.0"})", "1.0", Kind::failed, couldNot);
        row("invalid JSON", 200, "<html>maintenance</html>", "1.0", Kind::failed, couldNot);
        row("no server", 0, "", "1.0", Kind::failed, couldNot);
    }
    void checkOutcome()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, running);
        QFETCH(Kind, kind);
        QFETCH(QString, message);
        QFETCH(QString, latestVersion);
        QFETCH(QString, changelogURL);

        UpdateChecker checker(running);
        m_server->answer(200, "{\"version\":\"0.1\",\"url\":\"https://example.org/old\"}");
        QCoro::waitFor(checker.checkForUpdates());
        QCOMPARE(checker.latestVersion(), QStringLiteral("0.1"));

        m_server->answer(status, body);
        if (status == 0)
            m_server->close();
        QList<CheckState> states;
        connect(&checker, &UpdateChecker::checkStateChanged, this,
                [&] { states.append(checker.checkState()); });
        QCoro::waitFor(checker.checkForUpdates());
        QCOMPARE(states, (QList<CheckState>{CheckState(Kind::checking), CheckState(kind, message)}));
        QCOMPARE(checker.checkState().message, message);
        QCOMPARE(checker.latestVersion(), latestVersion);
        QCOMPARE(checker.changelogURL().toString(), changelogURL);
        QCOMPARE(checker.hasUpdate(), kind == Kind::updateAvailable);
        QVERIFY(!checker.isChecking());
        QVERIFY(checker.hasCheckedThisSession());
        QCOMPARE(m_server->requests, QList<QByteArray>(status ? 2 : 1, "GET /changelog.json HTTP/1.1"));
    }

    void checkerDestroyedDuringACheck()
    {
        m_server->answer(200, R"({"version":"2.0"})");
        auto *checker = new UpdateChecker(QStringLiteral("1.0"));
        bool finished = false;
        auto watcher = markWhenDone(checker->checkForUpdates(), finished);
        delete checker;
        // The reply still arrives; the check must end without touching the dead checker.
        QTRY_VERIFY_WITH_TIMEOUT(finished, 30000);
    }

    // In process when a release is known, the real binary when the check fails: exit 0 either way.
    void checkUpdateCommand()
    {
        const QString current = QStringLiteral("\"currentVersion\":\"" QUORLANE_VERSION "\"");
        m_server->answer(200, "{\"version\":\"999.0\",\"url\":\"https://quorlane.dev/c#999\"}");
        QString out;
        QTextStream outStream(&out);
        QCOMPARE(
            runCli({QStringLiteral("check-update"), QStringLiteral("--json")}, CliIO{outStream, outStream}),
            0);
        const QString available = R"({"state":"updateAvailable","message":null,"latestVersion":"999.0",)" +
                                  current + ",\"changelogURL\":\"https://quorlane.dev/c#999\"}" + '\n';
        QCOMPARE(out, available);

        // The event loop must keep turning for the in-process server while the child runs.
        m_server->answer(404, "");
        QProcess process;
        process.setProcessEnvironment(m_home->environment());
        process.start(QStringLiteral(QUORLANE_BINARY),
                      {QStringLiteral("check-update"), QStringLiteral("--json")});
        QSignalSpy finished(&process, &QProcess::finished);
        QVERIFY(finished.wait(60000));
        QCOMPARE(process.exitCode(), 0);
        const QString failed =
            R"({"state":"failed","message":"Could not check for updates.","latestVersion":null,)" + current +
            R"(,"changelogURL":null})" + '\n';
        QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()), failed);
        QCOMPARE(m_server->requests.size(), 2);
    }

    // However the feed sends (nothing, a byte now and then, far too much), the check ends by its
    // deadline, having read no more than its limit.
    void misbehavingFeedEndsTheCheck_data()
    {
        QTest::addColumn<FeedServer::Mode>("mode");
        QTest::newRow("silent after the request") << FeedServer::Mode::silent;
        QTest::newRow("dripping a byte every 0.2 s") << FeedServer::Mode::drip;
        QTest::newRow("flooding 1 GiB") << FeedServer::Mode::flood;
    }
    void misbehavingFeedEndsTheCheck()
    {
        QFETCH(FeedServer::Mode, mode);
        m_server->mode = mode;
        UpdateChecker checker(QStringLiteral("1.0"));
        checker.setLimits({std::chrono::milliseconds(1500), 1 << 20});
        bool finished = false;
        QElapsedTimer clock;
        clock.start();
        auto watcher = markWhenDone(checker.checkForUpdates(), finished);
        QTRY_VERIFY_WITH_TIMEOUT(finished, 30000);
        QVERIFY2(clock.elapsed() < 10000, "the check outlived its deadline");
        QCOMPARE(checker.checkState(),
                 CheckState(Kind::failed, QStringLiteral("Could not check for updates.")));
        QCOMPARE(m_server->requests.size(), 1);
        QVERIFY2(m_server->sent < 64 << 20, "the checker read on past its limit");
    }
};

QTEST_GUILESS_MAIN(TestUpdateChecker)
#include "tst_updatechecker.moc"
