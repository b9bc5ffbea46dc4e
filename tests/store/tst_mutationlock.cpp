// A waiter served out of order, or a cancelled waiter that keeps the lock, would let two
// toggles interleave; within one process (the mutation lock) and between processes (the lock in
// Quorlane's folder).
#include "TestHome.h"
#include "platform/QuorlaneError.h"
#include "store/JsonFile.h"
#include "store/MutationLock.h"
#include "store/QuorlaneLock.h"
#include "store/QuorlaneProjectConfig.h"

#include <QProcess>
#include <QTest>

#include "platform/WaitFor.h"

#include <nlohmann/json.hpp>

namespace {

const QString kProject = QStringLiteral("/srv/app");

// Where a server's definition is: 1 live, 2 stashed, 3 both, 0 nowhere (lost).
int placesOf(const TestHome &home, const QString &where, const std::string &name)
{
    const auto object = [](const QString &path) {
        return JsonFile::readObject(path).value_or(nlohmann::json::object());
    };
    nlohmann::json live;
    bool stashed = false;
    if (where == "desktop" || where == "global") {
        live = object(where == "desktop" ? home.desktopConfig() : home.claudeJson())["mcpServers"];
        stashed = object(home.stash())[where.toStdString()].contains(name);
    } else {
        live = object(home.claudeJson())["projects"][kProject.toStdString()]["mcpServers"];
        stashed = QuorlaneProjectConfig::load(kProject).stashedConfigs.contains(QString::fromStdString(name));
    }
    return (live.is_object() && live.contains(name) ? 1 : 0) + (stashed ? 2 : 0);
}

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

    // flock() belongs to the open file: a holder that is killed never leaves a stale lock.
    void crossProcessLockDiesWithItsHolder()
    {
        TestHome home;
        QuorlaneLock probe;
        QVERIFY(probe.tryAcquire());
        probe.release();
        QProcess holder;
        // The shell becomes `sleep` holding the lock on descriptor 9, so the killed process is the
        // holder itself.
        holder.start("bash", {"-c", "exec 9>>\"$0\" && flock 9 && exec sleep 60",
                              QuorlaneLock::lockPathIn(home.configDir() + "/Quorlane")});
        QVERIFY(holder.waitForStarted());
        QTRY_VERIFY(!QuorlaneLock().tryAcquire());
        holder.kill();
        QVERIFY(holder.waitForFinished());
        QVERIFY(QuorlaneLock().tryAcquire());
    }

    // Two quorlane processes switch at the same moment, off and then on, many times: every
    // definition must be in exactly one place after each round. QUORLANE_RACE_ROUNDS sets the
    // number of rounds (100 to measure).
    void twoProcessesNeverLoseADefinition_data()
    {
        QTest::addColumn<QStringList>("first"); // where, name
        QTest::addColumn<QStringList>("second");
        QTest::newRow("global + desktop") << QStringList{"global", "g1"} << QStringList{"desktop", "d1"};
        QTest::newRow("desktop + desktop") << QStringList{"desktop", "d1"} << QStringList{"desktop", "d2"};
        QTest::newRow("two servers of one project")
            << QStringList{"project", "p1"} << QStringList{"project", "p2"};
    }
    void twoProcessesNeverLoseADefinition()
    {
        QFETCH(QStringList, first);
        QFETCH(QStringList, second);
        TestHome home;
        home.write(home.claudeJson(), R"({"mcpServers":{"g1":{"command":"g1"}},"projects":{"/srv/app":)"
                                      R"({"mcpServers":{"p1":{"command":"p1"},"p2":{"command":"p2"}}}}})");
        home.write(home.desktopConfig(), R"({"mcpServers":{"d1":{"command":"d1"},"d2":{"command":"d2"}}})");
        const auto arguments = [](const QString &command, const QStringList &server) {
            QStringList list{command, server[1]};
            if (server[0] == "desktop")
                list << "--desktop";
            if (server[0] == "project")
                list << "--project" << kProject;
            return list;
        };
        const int rounds = std::max(qEnvironmentVariableIntValue("QUORLANE_RACE_ROUNDS"), 3);
        int lost = 0;
        int failed = 0;
        for (int round = 0; round < rounds; ++round) {
            for (const QString command : {"disable", "enable"}) {
                QProcess a, b;
                for (QProcess *process : {&a, &b})
                    process->setProcessEnvironment(home.environment());
                a.start(QStringLiteral(QUORLANE_BINARY), arguments(command, first));
                b.start(QStringLiteral(QUORLANE_BINARY), arguments(command, second));
                QVERIFY(a.waitForFinished(60000) && b.waitForFinished(60000));
                failed += (a.exitCode() != 0) + (b.exitCode() != 0);
                const int expected = command == "disable" ? 2 : 1;
                for (const QStringList &server : {first, second})
                    lost += placesOf(home, server[0], server[1].toStdString()) != expected;
            }
        }
        qInfo("%s: %d of %d switches failed, %d left a definition out of place", QTest::currentDataTag(),
              failed, 4 * rounds, lost);
        QCOMPARE(failed, 0);
        QCOMPARE(lost, 0);
    }
};

QTEST_GUILESS_MAIN(TestMutationLock)
#include "tst_mutationlock.moc"
