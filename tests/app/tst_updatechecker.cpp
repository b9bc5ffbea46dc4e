#include "FeedServer.h"
#include "TestHome.h"
#include "app/FeedError.h"
#include "app/UpdateChecker.h"
#include "app/UpdateFeed.h"
#include "cli/Cli.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <QCoro/QCoroTask>

#include <limits>
#include <memory>

using UpdateFeed::VersionComparison;
using Versions = QList<qint64>;

class TestUpdateChecker : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void parseVersion_data();
    void parseVersion();
    void compareVersions_data();
    void compareVersions();
    void parseFeed_data();
    void parseFeed();

    void initialState();
    void feedURLDefaultsToTheWebsite();
    void checkOutcome_data();
    void checkOutcome();
    void passesThroughCheckingAndMarksTheSession();
    void failureAfterSuccessForgetsTheRelease();
    void unreachableServerFails();
    void checkerDestroyedDuringACheck();
    void overlappingChecksBothEnd();

    void checkUpdateCommandJson_data();
    void checkUpdateCommandJson();
    void checkUpdateCommandText();
    void checkUpdateBinaryExitsZero();

private:
    void check(UpdateChecker &checker) { QCoro::waitFor(checker.checkForUpdates()); }

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<FeedServer> m_server;
};

void TestUpdateChecker::init()
{
    m_home = std::make_unique<TestHome>();
    m_server = std::make_unique<FeedServer>();
    qputenv("QUORLANE_FEED_URL", m_server->url().toEncoded());
}

void TestUpdateChecker::cleanup()
{
    qunsetenv("QUORLANE_FEED_URL");
    m_server.reset();
    m_home.reset();
}

void TestUpdateChecker::parseVersion_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<Versions>("numbers");

    const qint64 max = std::numeric_limits<qint64>::max();
    QTest::newRow("three parts") << "1.4.2" << true << Versions{1, 4, 2};
    QTest::newRow("one part") << "7" << true << Versions{7};
    QTest::newRow("zeros") << "0.0.0" << true << Versions{0, 0, 0};
    QTest::newRow("leading zeros") << "01.002" << true << Versions{1, 2};
    QTest::newRow("many parts") << "1.2.3.4.5.6" << true << Versions{1, 2, 3, 4, 5, 6};
    QTest::newRow("largest 64-bit number") << "9223372036854775807" << true << Versions{max};
    QTest::newRow("one past 64 bits") << "9223372036854775808" << false << Versions{};
    QTest::newRow("far past 64 bits") << "1.99999999999999999999999" << false << Versions{};
    QTest::newRow("empty") << "" << false << Versions{};
    QTest::newRow("only a dot") << "." << false << Versions{};
    QTest::newRow("two dots in a row") << "1..2" << false << Versions{};
    QTest::newRow("trailing dot") << "1.2." << false << Versions{};
    QTest::newRow("leading dot") << ".1.2" << false << Versions{};
    QTest::newRow("leading letter") << "v1.2" << false << Versions{};
    QTest::newRow("suffix after hyphen") << "1.2-beta" << false << Versions{};
    QTest::newRow("plus sign") << "+1.2" << false << Versions{};
    QTest::newRow("minus sign") << "-1.2" << false << Versions{};
    QTest::newRow("space") << "1. 2" << false << Versions{};
    QTest::newRow("trailing newline") << "1.2\n" << false << Versions{};
    QTest::newRow("non-ASCII digits") << QString::fromUtf8("\u0661.\u0662") << false << Versions{};
    QTest::newRow("fullwidth digits") << QString::fromUtf8("\uFF11.2") << false << Versions{};
    QTest::newRow("comma") << "1,2" << false << Versions{};
}

void TestUpdateChecker::parseVersion()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(Versions, numbers);
    const auto parsed = UpdateFeed::parseVersion(text);
    QCOMPARE(parsed.has_value(), accepted);
    if (accepted)
        QCOMPARE(*parsed, numbers);
}

void TestUpdateChecker::compareVersions_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<VersionComparison>("expected");

    QTest::newRow("missing positions count as 0") << "1.2.0"
                                                  << "1.2" << VersionComparison::notNewer;
    QTest::newRow("shorter equal to longer") << "1.2"
                                             << "1.2.0.0" << VersionComparison::notNewer;
    QTest::newRow("numeric, not textual: 1.10 > 1.9") << "1.10"
                                                      << "1.9" << VersionComparison::newer;
    QTest::newRow("numeric, not textual: 1.9 < 1.10") << "1.9"
                                                      << "1.10" << VersionComparison::notNewer;
    QTest::newRow("first difference decides") << "2.0"
                                              << "1.99.99" << VersionComparison::newer;
    QTest::newRow("extra non-zero position") << "1.0.1"
                                             << "1" << VersionComparison::newer;
    QTest::newRow("extra position on the other side") << "1"
                                                      << "1.0.1" << VersionComparison::notNewer;
    QTest::newRow("equal") << "3.1.4"
                           << "3.1.4" << VersionComparison::notNewer;
    QTest::newRow("leading zeros equal") << "1.02"
                                         << "1.2" << VersionComparison::notNewer;
    QTest::newRow("older") << "1.4.1"
                           << "1.4.2" << VersionComparison::notNewer;
    QTest::newRow("64-bit numbers") << "9223372036854775807"
                                    << "9223372036854775806" << VersionComparison::newer;
    QTest::newRow("left does not parse") << "1.a"
                                         << "1.0" << VersionComparison::undecidable;
    QTest::newRow("right does not parse") << "2.0"
                                          << "1.0-beta" << VersionComparison::undecidable;
    QTest::newRow("both empty") << ""
                                << "" << VersionComparison::undecidable;
}

void TestUpdateChecker::compareVersions()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(VersionComparison, expected);
    QCOMPARE(UpdateFeed::compareVersions(a, b), expected);
}

void TestUpdateChecker::parseFeed_data()
{
    // `error`: empty for success, else "http 404", "invalidResponse", "missingVersion",
    // "invalidVersion" or "json". `status` -1 stands for a response that is not HTTP.
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("url");

    QTest::newRow("object with url") << QByteArray(
                                            R"({"version":"1.4.2","url":"https://example.org/notes#1.4.2"})")
                                     << 200 << ""
                                     << "1.4.2"
                                     << "https://example.org/notes#1.4.2";
    QTest::newRow("object without url") << QByteArray(R"({"version":"1.4.2"})") << 200 << ""
                                        << "1.4.2"
                                        << "";
    QTest::newRow("other keys ignored")
        << QByteArray(R"({"notes":["x"],"version":"2.0","date":"2026-01-01"})") << 200 << ""
        << "2.0"
        << "";
    QTest::newRow("array: first object read")
        << QByteArray(R"([{"version":"2.1","url":"https://example.org/2.1"},{"version":"9.9"}])") << 200 << ""
        << "2.1"
        << "https://example.org/2.1";
    QTest::newRow("url that is not a URL")
        << QByteArray(R"({"version":"1.0","url":"not a url"})") << 200 << ""
        << "1.0"
        << "";
    QTest::newRow("url that is empty") << QByteArray(R"({"version":"1.0","url":""})") << 200 << ""
                                       << "1.0"
                                       << "";
    QTest::newRow("url that is not text") << QByteArray(R"({"version":"1.0","url":42})") << 200 << ""
                                          << "1.0"
                                          << "";
    QTest::newRow("status 201 accepted") << QByteArray(R"({"version":"1.0"})") << 201 << ""
                                         << "1.0"
                                         << "";
    QTest::newRow("status 299 accepted") << QByteArray(R"({"version":"1.0"})") << 299 << ""
                                         << "1.0"
                                         << "";

    QTest::newRow("not an HTTP response") << QByteArray(R"({"version":"1.0"})") << -1 << "invalidResponse"
                                          << ""
                                          << "";
    QTest::newRow("status 404") << QByteArray(R"({"version":"1.0"})") << 404 << "http 404"
                                << ""
                                << "";
    QTest::newRow("status 199") << QByteArray(R"({"version":"1.0"})") << 199 << "http 199"
                                << ""
                                << "";
    QTest::newRow("status 300") << QByteArray(R"({"version":"1.0"})") << 300 << "http 300"
                                << ""
                                << "";
    QTest::newRow("status checked before the body") << QByteArray("{not json") << 503 << "http 503"
                                                    << ""
                                                    << "";
    QTest::newRow("empty body") << QByteArray() << 200 << "json"
                                << ""
                                << "";
    QTest::newRow("array with a non-object")
        << QByteArray(R"([{"version":"1.0"},"x"])") << 200 << "invalidResponse"
        << ""
        << "";
    QTest::newRow("array of texts") << QByteArray(R"(["1.0"])") << 200 << "invalidResponse"
                                    << ""
                                    << "";
    QTest::newRow("array whose first object is empty")
        << QByteArray(R"([{},{"version":"1.0"}])") << 200 << "missingVersion"
        << ""
        << "";
    QTest::newRow("version as a number") << QByteArray(R"({"version":1.2})") << 200 << "missingVersion"
                                         << ""
                                         << "";
    QTest::newRow("version null") << QByteArray(R"({"version":null})") << 200 << "missingVersion"
                                  << ""
                                  << "";
    QTest::newRow("version with two dots in a row")
        << QByteArray(R"({"version":"1..2"})") << 200 << "invalidVersion"
        << ""
        << "";
}

void TestUpdateChecker::parseFeed()
{
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(QString, error);
    QFETCH(QString, version);
    QFETCH(QString, url);

    const std::optional<int> httpStatus = status < 0 ? std::nullopt : std::optional<int>(status);
    QString thrown;
    UpdateFeed::Entry entry;
    try {
        entry = UpdateFeed::parseFeed(body, httpStatus);
    } catch (const FeedError &e) {
        switch (e.kind()) {
        case FeedError::Kind::httpStatus:
            thrown = QStringLiteral("http %1").arg(e.statusCode());
            break;
        case FeedError::Kind::invalidResponse:
            thrown = QStringLiteral("invalidResponse");
            break;
        case FeedError::Kind::missingVersion:
            thrown = QStringLiteral("missingVersion");
            break;
        case FeedError::Kind::invalidVersion:
            thrown = QStringLiteral("invalidVersion");
            break;
        }
    } catch (const FeedJsonError &) {
        thrown = QStringLiteral("json");
    }
    QCOMPARE(thrown, error);
    if (error.isEmpty()) {
        QCOMPARE(entry.version, version);
        QCOMPARE(entry.changelogURL.toString(), url);
    }
}

void TestUpdateChecker::initialState()
{
    UpdateChecker checker(QStringLiteral("1.0"));
    QCOMPARE(checker.checkState(), CheckState(CheckState::Kind::idle));
    QVERIFY(!checker.isChecking());
    QVERIFY(!checker.hasCheckedThisSession());
    QVERIFY(checker.latestVersion().isEmpty());
    QVERIFY(checker.changelogURL().isEmpty());
    QVERIFY(!checker.hasUpdate());
    QCOMPARE(checker.websiteURL(), QUrl(QStringLiteral("https://quorlane.dev")));
    QCOMPARE(checker.feedURL(), m_server->url());
    // The build names its version; the checker compares against it unless told otherwise.
    QCOMPARE(UpdateChecker::currentVersion(), QStringLiteral(QUORLANE_VERSION));
    QCOMPARE(UpdateChecker().runningVersion(), QStringLiteral(QUORLANE_VERSION));
}

void TestUpdateChecker::feedURLDefaultsToTheWebsite()
{
    qunsetenv("QUORLANE_FEED_URL");
    UpdateChecker checker;
    QCOMPARE(checker.feedURL(), QUrl(QStringLiteral("https://quorlane.dev/changelog.json")));
}

void TestUpdateChecker::checkOutcome_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("running");
    QTest::addColumn<CheckState::Kind>("kind");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("latestVersion");
    QTest::addColumn<QString>("changelogURL");
    QTest::addColumn<bool>("hasUpdate");

    using Kind = CheckState::Kind;
    const QString invalidFeed = QStringLiteral("Invalid update feed.");
    const QString couldNotCheck = QStringLiteral("Could not check for updates.");
    const QString website = QStringLiteral("https://quorlane.dev");

    QTest::newRow("object, newer: 1.10 against 1.9")
        << 200 << QByteArray(R"({"version":"1.10","url":"https://quorlane.dev/changelog#1.10"})") << "1.9"
        << Kind::updateAvailable << ""
        << "1.10"
        << "https://quorlane.dev/changelog#1.10" << true;
    QTest::newRow("object, 1.2.0 against 1.2")
        << 200 << QByteArray(R"({"version":"1.2.0"})") << "1.2" << Kind::upToDate << ""
        << "1.2.0" << website << false;
    QTest::newRow("object, older than running")
        << 200 << QByteArray(R"({"version":"0.9"})") << "1.0" << Kind::upToDate << ""
        << "0.9" << website << false;
    QTest::newRow("array whose url does not parse")
        << 200 << QByteArray(R"([{"version":"2.0","url":"not a url"},{"version":"3.0"}])") << "1.0"
        << Kind::updateAvailable << ""
        << "2.0" << website << true;
    QTest::newRow("running version with a suffix")
        << 200 << QByteArray(R"({"version":"1.3","url":"https://quorlane.dev/changelog"})") << "1.2-beta"
        << Kind::failed << invalidFeed << "1.3"
        << "https://quorlane.dev/changelog" << false;
    QTest::newRow("empty array") << 200 << QByteArray("[]") << "1.0" << Kind::failed
                                 << QStringLiteral("Invalid update response.") << ""
                                 << "" << false;
    QTest::newRow("empty object") << 200 << QByteArray("{}") << "1.0" << Kind::failed << invalidFeed << ""
                                  << "" << false;
    QTest::newRow("object without version") << 200 << QByteArray(R"({"url":"https://quorlane.dev"})") << "1.0"
                                            << Kind::failed << invalidFeed << ""
                                            << "" << false;
    QTest::newRow("empty version") << 200 << QByteArray(R"({"version":""})") << "1.0" << Kind::failed
                                   << invalidFeed << ""
                                   << "" << false;
    QTest::newRow("version with a leading letter")
        << 200 << QByteArray(R"({"version":"v2.0"})") << "1.0" << Kind::failed << invalidFeed << ""
        << "" << false;
    QTest::newRow("version with two dots in a row")
        << 200 << QByteArray(R"({"version":"2..0"})") << "1.0" << Kind::failed << invalidFeed << ""
        << "" << false;
    QTest::newRow("version with a trailing dot")
        << 200 << QByteArray(R"({"version":"2.0."})") << "1.0" << Kind::failed << invalidFeed << ""
        << "" << false;
    QTest::newRow("status 404") << 404 << QByteArray(R"({"version":"9.0"})") << "1.0" << Kind::failed
                                << couldNotCheck << ""
                                << "" << false;
    QTest::newRow("status 500") << 500 << QByteArray("Internal error") << "1.0" << Kind::failed
                                << couldNotCheck << ""
                                << "" << false;
    QTest::newRow("invalid JSON") << 200 << QByteArray("<html>maintenance</html>") << "1.0" << Kind::failed
                                  << couldNotCheck << ""
                                  << "" << false;
}

void TestUpdateChecker::checkOutcome()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, running);
    QFETCH(CheckState::Kind, kind);
    QFETCH(QString, message);
    QFETCH(QString, latestVersion);
    QFETCH(QString, changelogURL);
    QFETCH(bool, hasUpdate);

    m_server->respond(status, body);
    UpdateChecker checker(running);
    check(checker);

    QCOMPARE(checker.checkState(), CheckState(kind, message));
    QCOMPARE(checker.checkState().message, message);
    QCOMPARE(checker.latestVersion(), latestVersion);
    QCOMPARE(checker.changelogURL().toString(), changelogURL);
    QCOMPARE(checker.hasUpdate(), hasUpdate);
    QVERIFY(!checker.isChecking());
    QVERIFY(checker.hasCheckedThisSession());
    QCOMPARE(m_server->requests(), QList<QByteArray>{"GET /changelog.json HTTP/1.1"});
}

void TestUpdateChecker::passesThroughCheckingAndMarksTheSession()
{
    m_server->respond(200, R"({"version":"2.0"})");
    UpdateChecker checker(QStringLiteral("1.0"));
    QList<CheckState> states;
    connect(&checker, &UpdateChecker::checkStateChanged, this, [&] { states.append(checker.checkState()); });
    bool sessionMarkedBeforeCheckingEnded = false;
    QList<bool> checking;
    connect(&checker, &UpdateChecker::isCheckingChanged, this, [&] {
        checking.append(checker.isChecking());
        if (!checker.isChecking())
            sessionMarkedBeforeCheckingEnded = checker.hasCheckedThisSession();
    });

    check(checker);
    QCOMPARE(states, (QList<CheckState>{CheckState(CheckState::Kind::checking),
                                        CheckState(CheckState::Kind::updateAvailable)}));
    QCOMPARE(checking, (QList<bool>{true, false}));
    QVERIFY(sessionMarkedBeforeCheckingEnded);

    // A second check goes through `checking` again and stays marked.
    m_server->respond(500, "");
    check(checker);
    QCOMPARE(states.size(), 4);
    QCOMPARE(states.at(2), CheckState(CheckState::Kind::checking));
    QVERIFY(checker.hasCheckedThisSession());
}

void TestUpdateChecker::failureAfterSuccessForgetsTheRelease()
{
    m_server->respond(200, R"({"version":"3.0","url":"https://quorlane.dev/changelog"})");
    UpdateChecker checker(QStringLiteral("1.0"));
    check(checker);
    QCOMPARE(checker.latestVersion(), QStringLiteral("3.0"));
    QVERIFY(checker.hasUpdate());

    m_server->respond(404, "");
    QSignalSpy latestChanged(&checker, &UpdateChecker::latestVersionChanged);
    check(checker);
    QCOMPARE(checker.checkState(),
             CheckState(CheckState::Kind::failed, QStringLiteral("Could not check for updates.")));
    QVERIFY(checker.latestVersion().isEmpty());
    QVERIFY(checker.changelogURL().isEmpty());
    QVERIFY(!checker.hasUpdate());
    QCOMPARE(latestChanged.count(), 1);
}

void TestUpdateChecker::unreachableServerFails()
{
    // A port that was just free: nothing listens there now.
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const quint16 port = probe.serverPort();
    probe.close();
    qputenv("QUORLANE_FEED_URL", QStringLiteral("http://127.0.0.1:%1/changelog.json").arg(port).toUtf8());

    UpdateChecker checker(QStringLiteral("1.0"));
    check(checker);
    QCOMPARE(checker.checkState(),
             CheckState(CheckState::Kind::failed, QStringLiteral("Could not check for updates.")));
    QVERIFY(checker.latestVersion().isEmpty());
    QVERIFY(checker.hasCheckedThisSession());
}

void TestUpdateChecker::checkerDestroyedDuringACheck()
{
    m_server->respond(200, R"({"version":"2.0"})");
    auto *checker = new UpdateChecker(QStringLiteral("1.0"));
    bool finished = false;
    QCoro::connect(checker->checkForUpdates(), this, [&] { finished = true; });
    delete checker;
    // The reply still arrives; the check must end without touching the dead checker.
    QTRY_VERIFY_WITH_TIMEOUT(finished, 30000);
    QCOMPARE(m_server->requests().size(), 1);
}

void TestUpdateChecker::overlappingChecksBothEnd()
{
    m_server->respond(200, R"({"version":"2.0"})");
    UpdateChecker checker(QStringLiteral("1.0"));
    int finished = 0;
    QCoro::connect(checker.checkForUpdates(), this, [&] { ++finished; });
    QCoro::connect(checker.checkForUpdates(), this, [&] { ++finished; });
    QTRY_COMPARE_WITH_TIMEOUT(finished, 2, 30000);
    QCOMPARE(m_server->requests().size(), 2);
    QVERIFY(!checker.isChecking());
    QCOMPARE(checker.checkState(), CheckState(CheckState::Kind::updateAvailable));
}

void TestUpdateChecker::checkUpdateCommandJson_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray version = QUORLANE_VERSION;
    QTest::newRow("update available")
        << 200 << QByteArray(R"({"version":"999.0","url":"https://quorlane.dev/changelog#999"})")
        << QByteArray(
               R"({"state":"updateAvailable","message":null,"latestVersion":"999.0","currentVersion":")" +
               version + R"(","changelogURL":"https://quorlane.dev/changelog#999"})");
    QTest::newRow("up to date")
        << 200 << QByteArray(R"({"version":"0.0.1"})")
        << QByteArray(R"({"state":"upToDate","message":null,"latestVersion":"0.0.1","currentVersion":")" +
                      version + R"(","changelogURL":"https://quorlane.dev"})");
    QTest::newRow("failed")
        << 500 << QByteArray()
        << QByteArray(
               R"({"state":"failed","message":"Could not check for updates.","latestVersion":null,"currentVersion":")" +
               version + R"(","changelogURL":null})");
}

void TestUpdateChecker::checkUpdateCommandJson()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, expected);
    m_server->respond(status, body);

    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    const int code =
        runCli({QStringLiteral("check-update"), QStringLiteral("--json")}, CliIO{outStream, errStream});
    QCOMPARE(code, 0);
    QCOMPARE(out.toUtf8(), expected + '\n');
    QVERIFY(err.isEmpty());
}

void TestUpdateChecker::checkUpdateCommandText()
{
    m_server->respond(200, R"({"version":"999.1","url":"https://quorlane.dev/changelog#999.1"})");
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    QCOMPARE(runCli({QStringLiteral("check-update")}, CliIO{outStream, errStream}), 0);
    QVERIFY2(out.contains(QLatin1String("999.1 is available")), qPrintable(out));
    QVERIFY2(out.contains(QLatin1String("https://quorlane.dev/changelog#999.1")), qPrintable(out));

    out.clear();
    QCOMPARE(runCli({QStringLiteral("check-update"), QStringLiteral("now")}, CliIO{outStream, errStream}), 2);
    QVERIFY(err.contains(QLatin1String("unexpected argument 'now'")));
}

void TestUpdateChecker::checkUpdateBinaryExitsZero()
{
    // The real binary against the in-process server: the event loop has to keep turning while
    // the child runs, so the process is awaited through its signal.
    m_server->respond(404, "");
    QProcess process;
    process.setProcessEnvironment(m_home->environment());
    process.start(QStringLiteral(QUORLANE_BINARY),
                  {QStringLiteral("check-update"), QStringLiteral("--json")});
    QSignalSpy finished(&process, &QProcess::finished);
    QVERIFY(finished.wait(60000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    const QJsonObject answer = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    QCOMPARE(answer.value(QLatin1String("state")).toString(), QStringLiteral("failed"));
    QCOMPARE(answer.value(QLatin1String("message")).toString(),
             QStringLiteral("Could not check for updates."));
    QCOMPARE(m_server->requests().size(), 1);
}

QTEST_GUILESS_MAIN(TestUpdateChecker)
#include "tst_updatechecker.moc"
