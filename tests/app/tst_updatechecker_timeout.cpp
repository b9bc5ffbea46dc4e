#include "FeedServer.h"
#include "TestHome.h"
#include "app/UpdateChecker.h"

#include <QTest>

#include <QCoro/QCoroTask>

// A feed that accepts the connection and never answers: the check gives up on its own after its
// request timeout. Kept apart from the other checker tests because it waits out that timeout.
class TestUpdateCheckerTimeout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void silentFeedFailsAfterTheTimeout()
    {
        TestHome home;
        FeedServer server;
        server.stayQuiet();
        qputenv("QUORLANE_FEED_URL", server.url().toEncoded());

        UpdateChecker checker(QStringLiteral("1.0"));
        bool finished = false;
        QCoro::connect(checker.checkForUpdates(), this, [&] { finished = true; });
        QTRY_VERIFY_WITH_TIMEOUT(!server.requests().isEmpty(), 30000);
        QVERIFY(checker.isChecking());
        QCOMPARE(checker.checkState(), CheckState(CheckState::Kind::checking));

        // Generous: the machine may be loaded; the check itself ends after its own timeout.
        QTRY_VERIFY_WITH_TIMEOUT(finished, 90000);
        QCOMPARE(checker.checkState(),
                 CheckState(CheckState::Kind::failed, QStringLiteral("Could not check for updates.")));
        QVERIFY(!checker.isChecking());
        QVERIFY(checker.hasCheckedThisSession());
        QVERIFY(checker.latestVersion().isEmpty());
        qunsetenv("QUORLANE_FEED_URL");
    }
};

QTEST_GUILESS_MAIN(TestUpdateCheckerTimeout)
#include "tst_updatechecker_timeout.moc"
