#include "ProbeServers.h"
#include "TestHome.h"
#include "probe/MCPToolProbe.h"
#include "switching/ApplicationServices.h"

#include <QCoro/QCoroTask>
#include <QTest>

using namespace ProbeServers;

namespace {

// Seconds since 2001-01-01, computed here rather than by the code under test.
double now2001()
{
    return QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC).msecsTo(QDateTime::currentDateTimeUtc()) /
           1000.0;
}

QByteArray record(const char *name, qint64 tokens, double timestamp)
{
    return QStringLiteral(R"({"mcpName":"%1","tokensPerMessage":%2,"timestamp":%3})")
        .arg(QLatin1String(name))
        .arg(tokens)
        .arg(timestamp, 0, 'f', 3)
        .toUtf8();
}

} // namespace

class TestMCPToolProbe : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;
    QString m_cacheFile, m_log;

    // A hand-made server answering 2000 tokens that notes every start in the log.
    MCPServerEntry counted(const QString &name) const
    {
        return fakeStdio(name, QStringLiteral("plain"), {QStringLiteral("--log"), m_log});
    }
    int starts() const { return int(TestHome::read(m_log).count("started\n")); }
    QHash<QString, qint64> onDisk() const
    {
        QHash<QString, qint64> records;
        for (const auto &r :
             MCPToolProbe::decodeCache(TestHome::read(m_cacheFile)).value_or(QList<MCPToolProbeCache_v2>{}))
            records.insert(r.mcpName, r.tokensPerMessage);
        return records;
    }
    qint64 estimate(MCPToolProbe &probe, const MCPServerEntry &entry)
    {
        return QCoro::waitFor(probe.tokensPerMessage(entry));
    }

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_cacheFile = m_home->path() + QStringLiteral("/support/mcp_probe_cache_v2.json");
        m_log = m_home->path() + QStringLiteral("/starts.log");
    }
    void cleanup() { m_home.reset(); }

    void applicationProbeUsesTheQuorlaneFolder()
    {
        QCOMPARE(ApplicationServices().toolProbe().cacheFile(),
                 m_home->configDir() + QStringLiteral("/Quorlane/mcp_probe_cache_v2.json"));
    }

    void freshness_data()
    {
        QTest::addColumn<double>("age");
        QTest::addColumn<bool>("probed");
        QTest::newRow("6 days 23 hours old") << double(6 * 86400 + 23 * 3600) << false;
        QTest::newRow("7 days and 1 second old") << double(7 * 86400 + 1) << true;
        QTest::newRow("stamped an hour in the future") << -3600.0 << false;
    }
    void freshness()
    {
        QFETCH(double, age);
        QFETCH(bool, probed);
        // A later element of a name replaces an earlier one; other names stay in the file.
        m_home->write(m_cacheFile, "[" + record("kept", 3100, now2001() - 60) + "," +
                                       record("srv", 9999, now2001() - 60) + "," +
                                       record("srv", 4242, now2001() - age) + "]");
        MCPToolProbe probe(m_cacheFile);
        const qint64 tokens = probed ? 2000 : 4242;
        QCOMPARE(estimate(probe, counted(QStringLiteral("srv"))), tokens);
        QCOMPARE(starts(), probed ? 1 : 0);
        const QHash<QString, qint64> expected{{QStringLiteral("kept"), 3100},
                                              {QStringLiteral("srv"), tokens}};
        QCOMPARE(probe.cachedTokenWeights(), expected);
        QCOMPARE(onDisk(), expected);
    }

    void unreadableCacheStartsEmpty_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("one malformed element")
            << "[" + record("other", 3000, now2001()) + R"(,{"mcpName":"x"}])";
        QTest::newRow("tokens as text")
            << QByteArray(R"([{"mcpName":"x","tokensPerMessage":"9","timestamp":1}])");
        QTest::newRow("not JSON") << QByteArray("[{\"mcpName\":");
        QTest::newRow("an object, not an array") << QByteArray(R"({"srv":{"tokensPerMessage":9}})");
    }
    void unreadableCacheStartsEmpty()
    {
        QFETCH(QByteArray, contents);
        m_home->write(m_cacheFile, contents);
        MCPToolProbe probe(m_cacheFile);
        QVERIFY(probe.cachedTokenWeights().isEmpty());
        QCOMPARE(estimate(probe, counted(QStringLiteral("srv"))), qint64(2000));
        QCOMPARE(onDisk(), (QHash<QString, qint64>{{QStringLiteral("srv"), 2000}}));
    }

    void failedProbeIsCachedToo()
    {
        MCPToolProbe probe(m_cacheFile);
        MCPServerEntry broken;
        broken.name = QStringLiteral("srv");
        broken.command = QStringLiteral("no-such-mcp-server");
        QCOMPARE(estimate(probe, broken), qint64(1500));
        QCOMPARE(onDisk().value(QStringLiteral("srv")), qint64(1500));
        // Within seven days the name is answered from the cache, also after a restart.
        QCOMPARE(estimate(probe, counted(QStringLiteral("srv"))), qint64(1500));
        MCPToolProbe restarted(m_cacheFile);
        QCOMPARE(estimate(restarted, counted(QStringLiteral("srv"))), qint64(1500));
        QCOMPARE(starts(), 0);
    }

    // Each server answers only once the other has started: if one probe waited for the other
    // (a lock held across a probe, or one worker for all), neither would ever answer.
    void differentServersAreProbedAtOnce()
    {
        MCPToolProbe probe(m_cacheFile);
        const QString markA = m_home->path() + QStringLiteral("/a"),
                      markB = m_home->path() + QStringLiteral("/b");
        const auto server = [](const char *name, const QString &mine, const QString &other) {
            return fakeStdio(QLatin1String(name), QStringLiteral("plain"),
                             {QStringLiteral("--mark"), mine, QStringLiteral("--wait-for"), other});
        };
        auto a = probe.tokensPerMessage(server("a", markA, markB));
        auto b = probe.tokensPerMessage(server("b", markB, markA));
        QCOMPARE(QCoro::waitFor(std::move(a)), qint64(2000));
        QCOMPARE(QCoro::waitFor(std::move(b)), qint64(2000));
        QCOMPARE(onDisk().size(), 2);
    }

    // The panel asks for every name when it opens and again when the names change: requests
    // that overlap share one probe, and the server is started once.
    void overlappingRequestsForANameStartItOnce()
    {
        MCPToolProbe probe(m_cacheFile);
        auto first = probe.tokensPerMessage(counted(QStringLiteral("srv")));
        auto second = probe.tokensPerMessage(counted(QStringLiteral("srv")));
        QCOMPARE(QCoro::waitFor(std::move(first)), qint64(2000));
        QCOMPARE(QCoro::waitFor(std::move(second)), qint64(2000));
        QCOMPARE(starts(), 1);
    }

    void urlDecidesBetweenHttpAndCommand()
    {
        const auto server = LocalHttpServer::fake(QStringLiteral("json"));
        MCPToolProbe probe(m_cacheFile);
        MCPServerEntry entry = counted(QStringLiteral("remote"));
        entry.url = server->url();
        QCOMPARE(estimate(probe, entry), qint64(2000));
        QCOMPARE(server->requests().size(), 3);
        QCOMPARE(starts(), 0);
        entry.name = QStringLiteral("local");
        entry.url = QString();
        QCOMPARE(estimate(probe, entry), qint64(2000));
        QCOMPARE(starts(), 1);
    }
};

QTEST_GUILESS_MAIN(TestMCPToolProbe)
#include "tst_mcptoolprobe.moc"
