#include "app/SingleInstance.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>

#include <sys/wait.h>
#include <unistd.h>

class TestSingleInstance : public QObject
{
    Q_OBJECT
    QTemporaryDir m_runtime;

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_runtime.isValid());
        qputenv("XDG_RUNTIME_DIR", m_runtime.path().toUtf8());
    }

    // What a crash leaves behind: the lock of a process that is gone and its socket file.
    void takesOverAfterACrash()
    {
        const pid_t dead = fork();
        if (dead == 0)
            _exit(0);
        waitpid(dead, nullptr, 0);
        SingleInstance first;
        QFile lock(first.lockPath());
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(QByteArray::number(dead) + "\nquorlane\n" + QSysInfo::machineHostName().toUtf8() + '\n');
        lock.close();
        QFile socket(first.socketPath());
        QVERIFY(socket.open(QIODevice::WriteOnly));
        socket.close();

        QVERIFY(first.claim());
        QSignalSpy requests(&first, &SingleInstance::requested);
        auto sent = QtConcurrent::run([] { return SingleInstance().send(SingleInstance::Request::show); });
        QTRY_COMPARE(requests.size(), 1);
        QTRY_VERIFY(sent.isFinished());
        QVERIFY(sent.result());
    }

    // A second start cannot claim while the first runs, and its request reaches the first.
    void secondStartHandsOver()
    {
        SingleInstance first;
        QVERIFY(first.claim());
        QSignalSpy requests(&first, &SingleInstance::requested);
        auto outcome = QtConcurrent::run(
            [] { return SingleInstance().claimOrHandOver(SingleInstance::Request::preferences, 3000); });
        QTRY_COMPARE(requests.size(), 1);
        QCOMPARE(requests.first().first().value<SingleInstance::Request>(),
                 SingleInstance::Request::preferences);
        QTRY_VERIFY(outcome.isFinished());
        QCOMPARE(outcome.result(), SingleInstance::Outcome::handedOver);

        // Another folder is another instance: tests with their own runtime folders never meet.
        QTemporaryDir elsewhere;
        qputenv("XDG_RUNTIME_DIR", elsewhere.path().toUtf8());
        QVERIFY(SingleInstance().claim());
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
