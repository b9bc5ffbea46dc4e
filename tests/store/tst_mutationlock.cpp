// A waiter served out of order, or a cancelled waiter that keeps the lock, would let two
// toggles interleave.
#include "store/MutationLock.h"
#include "store/StoreError.h"

#include <QTest>

#include "app/WaitFor.h"

namespace {

QCoro::Task<void> worker(MutationLock *lock, QString name, QStringList *order, CancellationPtr cancellation)
{
    try {
        co_await lock->acquire(cancellation);
        order->append(name);
    } catch (const CancellationError &) {
        order->append(name + ":cancelled");
    }
}

} // namespace

class TestMutationLock : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void servedInArrivalOrder_data()
    {
        QTest::addColumn<QString>("cancellable");
        QTest::addColumn<QString>("cancelled");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("never cancelled") << "b"
                                         << "never" << QStringList{"a", "b", "c", "newcomer"};
        QTest::newRow("cancelled before asking")
            << "b"
            << "before" << QStringList{"b:cancelled", "a", "c", "newcomer"};
        QTest::newRow("cancelled while waiting leaves the queue")
            << "b"
            << "waiting" << QStringList{"b:cancelled", "a", "c", "newcomer"};
        QTest::newRow("cancelled just after it was handed the lock passes it on")
            << "a"
            << "handedOver" << QStringList{"a:cancelled", "b", "c", "newcomer"};
    }
    void servedInArrivalOrder()
    {
        QFETCH(QString, cancellable);
        QFETCH(QString, cancelled);
        QFETCH(QStringList, expected);
        MutationLock lock;
        QStringList order;
        auto cancellation = std::make_shared<Cancellation>();
        if (cancelled == "before") {
            cancellation->cancel();
            QVERIFY_THROWS_EXCEPTION(CancellationError, Quorlane::waitFor(lock.acquire(cancellation)));
            QVERIFY(!lock.isLocked());
        }
        Quorlane::waitFor(lock.acquire());
        for (const QString name : {"a", "b", "c"})
            worker(&lock, name, &order, name == cancellable ? cancellation : CancellationPtr{});
        if (cancelled == "waiting") {
            cancellation->cancel();
            QTRY_COMPARE(order, QStringList{"b:cancelled"});
            QCOMPARE(lock.waiterCount(), 2);
        }
        const auto served = [&] { return order.size() - order.filter(":cancelled").size(); };
        const qsizetype toServe = expected.size() - expected.filter(":cancelled").size();
        for (int turn = 0; served() < toServe; ++turn) {
            const auto before = served();
            lock.release(); // handed straight to the first waiter, which has not run yet
            if (turn == 0) {
                if (cancelled == "handedOver")
                    cancellation->cancel();
                worker(&lock, "newcomer", &order, {}); // cannot slip in during the handover
            }
            QTRY_COMPARE(served(), before + 1);
            QVERIFY(lock.isLocked());
        }
        lock.release();
        QVERIFY(!lock.isLocked());
        QCOMPARE(order, expected);
    }
};

QTEST_GUILESS_MAIN(TestMutationLock)
#include "tst_mutationlock.moc"
