#include "probe/ToggleEvents.h"
#include "probe/ToggleLogger.h"

#include <QtTest>

#include <thread>

class TestToggleEvents : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        // Every test removes what it registered; a leftover observer is a leak this catches.
        QCOMPARE(NotificationCenter::defaultCenter().observerCount(ToggleEvents::name()), 0);
    }

    void channelName() { QCOMPARE(ToggleEvents::name(), QStringLiteral("quorlane.toggleEvents")); }

    void deliveryIsSynchronousOnThePostingThread_data()
    {
        QTest::addColumn<bool>("fromWorker");
        QTest::newRow("posted on the main thread") << false;
        QTest::newRow("posted on another thread") << true;
    }

    void deliveryIsSynchronousOnThePostingThread()
    {
        QFETCH(bool, fromWorker);
        QList<ToggleAction> received;
        std::thread::id deliveredOn;
        const auto token = ToggleEvents::addObserver([&](const ToggleAction &action) {
            received.append(action);
            deliveredOn = std::this_thread::get_id();
        });

        std::thread::id postedOn;
        bool seenWhenPostReturned = false;
        ToggleAction posted;
        const QDateTime before = QDateTime::currentDateTimeUtc();
        auto post = [&] {
            postedOn = std::this_thread::get_id();
            posted = ToggleEvents::post(QStringLiteral("memory"), QString(), false);
            seenWhenPostReturned = received.size() == 1;
        };
        if (fromWorker)
            std::thread(post).join();
        else
            post();
        const QDateTime after = QDateTime::currentDateTimeUtc();
        ToggleEvents::removeObserver(token);

        QVERIFY(seenWhenPostReturned);
        QCOMPARE(deliveredOn, postedOn);
        QCOMPARE(received.size(), 1);
        QCOMPARE(received.first(), posted);
        QCOMPARE(received.first().server, QStringLiteral("memory"));
        QVERIFY(received.first().projectPath.isEmpty());
        QCOMPARE(received.first().isEnabled, false);
        QVERIFY(received.first().timestamp >= before && received.first().timestamp <= after);
    }

    void projectToggleCarriesItsPath()
    {
        ToggleLogger logger;
        logger.start();
        ToggleEvents::post(QStringLiteral("fs"), QStringLiteral("/home/dev/app"), true);
        QCOMPARE(logger.actions().size(), 1);
        QCOMPARE(logger.actions().first().projectPath, QStringLiteral("/home/dev/app"));
        QVERIFY(logger.actions().first().isEnabled);
    }

    void onlyObserversRegisteredAtThePostReceiveIt()
    {
        ToggleLogger early;
        early.start();
        ToggleEvents::post({QStringLiteral("one"), {}, true, QDateTime::currentDateTimeUtc()});
        ToggleLogger late;
        late.start();
        ToggleEvents::post({QStringLiteral("two"), {}, false, QDateTime::currentDateTimeUtc()});
        early.stop();
        ToggleEvents::post({QStringLiteral("three"), {}, true, QDateTime::currentDateTimeUtc()});

        auto names = [](const ToggleLogger &logger) {
            QStringList result;
            for (const ToggleAction &action : logger.actions())
                result << action.server;
            return result;
        };
        QCOMPARE(names(early), (QStringList{QStringLiteral("one"), QStringLiteral("two")}));
        QCOMPARE(names(late), (QStringList{QStringLiteral("two"), QStringLiteral("three")}));
    }

    // Registrations made while a post is being delivered wait for the next post; an observer
    // removed meanwhile is not called.
    void changesDuringDeliveryTakeEffectAfterward()
    {
        auto added = std::make_unique<ToggleLogger>();
        auto removed = std::make_unique<ToggleLogger>();
        int firstCalls = 0;
        const auto first = ToggleEvents::addObserver([&](const ToggleAction &) {
            if (++firstCalls == 1) {
                added->start();
                removed.reset();
            }
        });
        removed->start();

        ToggleEvents::post(QStringLiteral("x"), {}, true);
        QCOMPARE(firstCalls, 1);
        QCOMPARE(added->actions().size(), 0);

        ToggleEvents::post(QStringLiteral("x"), {}, false);
        QCOMPARE(firstCalls, 2);
        QCOMPARE(added->actions().size(), 1);
        ToggleEvents::removeObserver(first);
    }

    void destroyedLoggerUnregisters()
    {
        const int before = NotificationCenter::defaultCenter().observerCount(ToggleEvents::name());
        int calls = 0;
        {
            ToggleLogger logger;
            logger.start([&](const ToggleAction &) { ++calls; });
            logger.start(); // a second start keeps the one registration
            QCOMPARE(NotificationCenter::defaultCenter().observerCount(ToggleEvents::name()), before + 1);
            ToggleEvents::post(QStringLiteral("x"), {}, true);
        }
        QCOMPARE(NotificationCenter::defaultCenter().observerCount(ToggleEvents::name()), before);
        ToggleEvents::post(QStringLiteral("x"), {}, true);
        QCOMPARE(calls, 1);
    }

    void otherNotificationsDoNotReachToggleObservers()
    {
        ToggleLogger logger;
        logger.start();
        NotificationCenter::defaultCenter().post(QStringLiteral("quorlane.showPreferences"), {});
        QVERIFY(logger.actions().isEmpty());
        QVERIFY(logger.isObserving());
        logger.stop();
        QVERIFY(!logger.isObserving());
    }
};

QTEST_GUILESS_MAIN(TestToggleEvents)
#include "tst_toggleevents.moc"
