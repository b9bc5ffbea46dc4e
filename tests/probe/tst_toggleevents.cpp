#include "probe/ToggleEvents.h"
#include "probe/ToggleLogger.h"

#include <QtTest>

#include <thread>

namespace {

int observers()
{
    return NotificationCenter::defaultCenter().observerCount(QStringLiteral("quorlane.toggleEvents"));
}

QStringList servers(const ToggleLogger &logger)
{
    QStringList result;
    for (const ToggleAction &action : logger.actions())
        result << action.server;
    return result;
}

} // namespace

class TestToggleEvents : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { QCOMPARE(observers(), 0); }

    void deliveryIsSynchronousOnThePostingThread_data()
    {
        QTest::addColumn<bool>("fromWorker");
        QTest::addColumn<QString>("projectPath");
        QTest::newRow("global server, posted on the main thread") << false << QString();
        QTest::newRow("project server, posted on another thread") << true << QStringLiteral("/home/dev/app");
    }
    void deliveryIsSynchronousOnThePostingThread()
    {
        QFETCH(bool, fromWorker);
        QFETCH(QString, projectPath);
        QList<ToggleAction> received;
        std::thread::id deliveredOn, postedOn;
        const auto token = ToggleEvents::addObserver([&](const ToggleAction &action) {
            received.append(action);
            deliveredOn = std::this_thread::get_id();
        });
        bool seenWhenPostReturned = false;
        ToggleAction posted;
        auto post = [&] {
            postedOn = std::this_thread::get_id();
            posted = ToggleEvents::post(QStringLiteral("memory"), projectPath, fromWorker);
            seenWhenPostReturned = received.size() == 1;
        };
        fromWorker ? std::thread(post).join() : post();
        ToggleEvents::removeObserver(token);

        QVERIFY(seenWhenPostReturned);
        QCOMPARE(deliveredOn, postedOn);
        QCOMPARE(received, QList<ToggleAction>{posted});
        QCOMPARE(posted.server, QStringLiteral("memory"));
        QCOMPARE(posted.projectPath, projectPath);
        QCOMPARE(posted.isEnabled, fromWorker);
    }

    // Only the observers registered at the moment of a post receive it; registrations made while
    // a post is delivered wait for the next post, and an observer removed meanwhile is not called.
    void observersRegisteredAtThePostReceiveIt()
    {
        ToggleLogger early, late;
        auto removed = std::make_unique<ToggleLogger>();
        int firstCalls = 0;
        const auto first = ToggleEvents::addObserver([&](const ToggleAction &) {
            if (++firstCalls == 1) {
                late.start();
                removed.reset();
            }
        });
        early.start();
        removed->start();
        ToggleEvents::post(QStringLiteral("one"), {}, true);
        QCOMPARE(servers(late), QStringList());
        ToggleEvents::post(QStringLiteral("two"), {}, false);
        early.stop();
        ToggleEvents::post(QStringLiteral("three"), {}, true);
        ToggleEvents::removeObserver(first);
        QCOMPARE(firstCalls, 3);
        QCOMPARE(servers(early), (QStringList{QStringLiteral("one"), QStringLiteral("two")}));
        QCOMPARE(servers(late), (QStringList{QStringLiteral("two"), QStringLiteral("three")}));
    }

    void destroyedLoggerUnregisters()
    {
        int calls = 0;
        {
            ToggleLogger logger;
            logger.start([&](const ToggleAction &) { ++calls; });
            logger.start(); // a second start keeps the one registration
            QCOMPARE(observers(), 1);
            NotificationCenter::defaultCenter().post(QStringLiteral("quorlane.showPreferences"),
                                                     QVariant::fromValue(ToggleAction{QStringLiteral("y")}));
            ToggleEvents::post(QStringLiteral("x"), {}, true);
            QCOMPARE(logger.actions().size(), 1);
        }
        ToggleEvents::post(QStringLiteral("x"), {}, true);
        QCOMPARE(calls, 1);
    }
};

QTEST_GUILESS_MAIN(TestToggleEvents)
#include "tst_toggleevents.moc"
