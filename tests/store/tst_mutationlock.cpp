// The mutation lock serialises every change of the configuration files. A waiter served out of
// order, or a cancelled waiter that keeps the lock, would let two toggles interleave.
#include "store/MutationLock.h"
#include "store/StoreError.h"

#include <QTest>

#include "app/WaitFor.h"

namespace {

// Acquires, records its turn, holds the lock until `hold` is released by the test.
QCoro::Task<void> worker(MutationLock *lock, QString name, QStringList *order, CancellationPtr cancellation,
                         bool *finished)
{
    try {
        co_await lock->acquire(cancellation);
    } catch (const CancellationError &) {
        order->append(name + QStringLiteral(":cancelled"));
        *finished = true;
        co_return;
    }
    order->append(name);
    *finished = true;
}

} // namespace

class TestMutationLock : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void waitersAreServedInArrivalOrder()
    {
        MutationLock lock;
        QStringList order;
        bool done[3] = {};
        Quorlane::waitFor(lock.acquire());
        for (int i = 0; i < 3; ++i)
            worker(&lock, QString::number(i), &order, {}, &done[i]);
        QCOMPARE(lock.waiterCount(), 3);
        for (int i = 0; i < 3; ++i) {
            lock.release();
            QTRY_VERIFY(done[i]);
            QCOMPARE(order.last(), QString::number(i));
            QVERIFY(lock.isLocked()); // handed over, never free in between
        }
        lock.release();
        QVERIFY(!lock.isLocked());
    }

    void newcomerCannotSlipInDuringHandover()
    {
        MutationLock lock;
        QStringList order;
        bool first = false, second = false;
        Quorlane::waitFor(lock.acquire());
        worker(&lock, QStringLiteral("waiter"), &order, {}, &first);
        lock.release(); // handed to "waiter", which has not run yet
        worker(&lock, QStringLiteral("newcomer"), &order, {}, &second);
        QTRY_VERIFY(first);
        QVERIFY(!second);
        lock.release();
        QTRY_VERIFY(second);
        QCOMPARE(order, QStringList({"waiter", "newcomer"}));
    }

    void cancelledWaiterLeavesTheQueue()
    {
        MutationLock lock;
        QStringList order;
        bool done[3] = {};
        auto cancelSecond = std::make_shared<Cancellation>();
        Quorlane::waitFor(lock.acquire());
        worker(&lock, QStringLiteral("a"), &order, {}, &done[0]);
        worker(&lock, QStringLiteral("b"), &order, cancelSecond, &done[1]);
        worker(&lock, QStringLiteral("c"), &order, {}, &done[2]);
        cancelSecond->cancel();
        QTRY_VERIFY(done[1]);
        QCOMPARE(lock.waiterCount(), 2);
        QVERIFY(lock.isLocked()); // the owner keeps it
        lock.release();
        QTRY_VERIFY(done[0]);
        lock.release();
        QTRY_VERIFY(done[2]);
        QCOMPARE(order, QStringList({"b:cancelled", "a", "c"}));
        lock.release();
        QVERIFY(!lock.isLocked());
    }

    // Cancelled after release() chose it but before it ran: it must pass the lock on, not keep it.
    void waiterCancelledAfterHandoverPassesTheLockOn()
    {
        MutationLock lock;
        QStringList order;
        bool done[2] = {};
        auto cancellation = std::make_shared<Cancellation>();
        Quorlane::waitFor(lock.acquire());
        worker(&lock, QStringLiteral("a"), &order, cancellation, &done[0]);
        worker(&lock, QStringLiteral("b"), &order, {}, &done[1]);
        lock.release();
        cancellation->cancel();
        QTRY_VERIFY(done[0] && done[1]);
        QCOMPARE(order, QStringList({"a:cancelled", "b"}));
        lock.release();
        QVERIFY(!lock.isLocked());
    }

    void alreadyCancelledNeverHoldsTheLock()
    {
        MutationLock lock;
        auto cancellation = std::make_shared<Cancellation>();
        cancellation->cancel();
        QVERIFY_THROWS_EXCEPTION(CancellationError, Quorlane::waitFor(lock.acquire(cancellation)));
        QVERIFY(!lock.isLocked());

        Quorlane::waitFor(lock.acquire());
        QStringList order;
        bool done = false;
        worker(&lock, QStringLiteral("late"), &order, cancellation, &done);
        QTRY_VERIFY(done);
        QCOMPARE(lock.waiterCount(), 0);
        lock.release();
        QVERIFY(!lock.isLocked());
    }
};

QTEST_GUILESS_MAIN(TestMutationLock)
#include "tst_mutationlock.moc"
