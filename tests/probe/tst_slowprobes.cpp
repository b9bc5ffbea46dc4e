#include "ProbeTestServers.h"
#include "TestHome.h"
#include "probe/HttpProbe.h"
#include "probe/StdioProbe.h"

#include <QFuture>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

using namespace ProbeTestServers;

// The paths that only end at the probe's 20-second deadline, its 22-second watchdog or the HTTP
// timeouts. They run side by side, so the whole test takes about one HTTP probe (~45 s).
class TestSlowProbes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        m_pool.setMaxThreadCount(8);
        m_silentPidFile = m_dir.path() + QStringLiteral("/silent.pid");
        m_hanging = LocalHttpServer::fake(QStringLiteral("hang"));
        QVERIFY(m_hanging->port() != 0);
        m_spacedId =
            QtConcurrent::run(&m_pool, StdioProbe::probeStdio,
                              fakeStdioServer(QStringLiteral("spaced"), QStringLiteral("spaced-id")));
        m_silent = QtConcurrent::run(&m_pool, StdioProbe::probeStdio,
                                     fakeStdioServer(QStringLiteral("silent"), QStringLiteral("silent"),
                                                     {QStringLiteral("--pid-file"), m_silentPidFile}));
        m_http = QtConcurrent::run(&m_pool, HttpProbe::probeHTTP, m_hanging->url(), QMap<QString, QString>{});
    }

    // "id": 2 with a space never matches the early stop, so the reply is measured only once
    // reading ends: at the deadline, or when the watchdog ends the still running server.
    void spacedIdIsMeasuredWhenReadingEnds() { QCOMPARE(m_spacedId.result(), qint64(2000)); }

    void silentServerIsEndedByTheWatchdog()
    {
        QCOMPARE(m_silent.result(), qint64(1500));
        const qint64 pid = TestHome::read(m_silentPidFile).toLongLong();
        QVERIFY(pid > 0);
        QVERIFY2(!isRunning(pid), "the silent server outlived its probe");
    }

    // A request that times out does not stop the sequence: all three are sent, then 1500.
    void unansweredHttpRequestsTimeOutOneByOne()
    {
        QCOMPARE(m_http.result(), qint64(1500));
        QCOMPARE(m_hanging->requests().size(), 3);
    }

    void cleanupTestCase() { m_pool.waitForDone(); }

private:
    QTemporaryDir m_dir;
    QThreadPool m_pool;
    QString m_silentPidFile;
    std::unique_ptr<LocalHttpServer> m_hanging;
    QFuture<qint64> m_spacedId;
    QFuture<qint64> m_silent;
    QFuture<qint64> m_http;
};

QTEST_GUILESS_MAIN(TestSlowProbes)
#include "tst_slowprobes.moc"
