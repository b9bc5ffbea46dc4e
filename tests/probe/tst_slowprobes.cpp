#include "ProbeServers.h"
#include "TestHome.h"
#include "probe/HttpProbe.h"
#include "probe/StdioProbe.h"

#include <QFuture>
#include <QTest>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

using namespace ProbeServers;

// The paths that end only at the probe's watchdog or the HTTP timeouts, run side by side: the
// whole test takes about one HTTP probe.
class TestSlowProbes : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QThreadPool m_pool;
    QString m_pidFile = m_dir.filePath(QStringLiteral("silent.pid"));
    QString m_chattyPidFile = m_dir.filePath(QStringLiteral("chatty.pid"));
    std::unique_ptr<LocalHttpServer> m_hanging = LocalHttpServer::fake(QStringLiteral("hang"));
    QFuture<qint64> m_silent, m_chatty, m_http;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_hanging->port() != 0);
        m_pool.setMaxThreadCount(8);
        m_silent = QtConcurrent::run(&m_pool, StdioProbe::probeStdio,
                                     fakeStdio(QStringLiteral("silent"), QStringLiteral("silent"),
                                               {QStringLiteral("--pid-file"), m_pidFile}));
        m_chatty = QtConcurrent::run(&m_pool, StdioProbe::probeStdio,
                                     fakeStdio(QStringLiteral("chatty"), QStringLiteral("chatty"),
                                               {QStringLiteral("--pid-file"), m_chattyPidFile}));
        m_http = QtConcurrent::run(&m_pool, HttpProbe::probeHTTP, m_hanging->url(), QMap<QString, QString>{});
    }
    void cleanupTestCase() { m_pool.waitForDone(); }

    // Output that never holds the answer does not keep the probe reading past its limit.
    void unansweringServerIsEndedByTheWatchdog_data()
    {
        QTest::addColumn<int>("which");
        QTest::newRow("silent") << 0;
        QTest::newRow("writes all the time") << 1;
    }
    void unansweringServerIsEndedByTheWatchdog()
    {
        QFETCH(int, which);
        QCOMPARE((which == 0 ? m_silent : m_chatty).result(), qint64(1500));
        const qint64 pid = TestHome::read(which == 0 ? m_pidFile : m_chattyPidFile).toLongLong();
        QVERIFY(pid > 0);
        QVERIFY2(!isRunning(pid), "the server outlived its probe");
    }

    // A request that times out does not stop the sequence: all three are sent, then 1500.
    void unansweredHttpRequestsTimeOutOneByOne()
    {
        QCOMPARE(m_http.result(), qint64(1500));
        QCOMPARE(m_hanging->requests().size(), 3);
    }
};

QTEST_GUILESS_MAIN(TestSlowProbes)
#include "tst_slowprobes.moc"
