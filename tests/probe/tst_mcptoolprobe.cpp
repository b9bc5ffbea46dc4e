#include "ProbeTestServers.h"
#include "TestHome.h"
#include "probe/MCPToolProbe.h"

#include <QFile>

#include <QTest>
#include <nlohmann/json.hpp>

#include <QCoro/QCoroTask>

using namespace ProbeTestServers;

namespace {

double now2001()
{
    return MCPToolProbe::referenceSeconds(QDateTime::currentDateTimeUtc());
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// A hand-made server answering 2000 tokens that notes every start in `log`.
MCPServerEntry countedServer(const QString &name, const QString &log)
{
    return fakeStdioServer(name, QStringLiteral("plain"), {QStringLiteral("--log"), log});
}

int starts(const QString &log)
{
    return int(TestHome::read(log).count("started\n"));
}

QHash<QString, MCPToolProbeCache_v2> recordsOnDisk(const QString &path)
{
    QHash<QString, MCPToolProbeCache_v2> records;
    for (const auto &record :
         MCPToolProbe::decodeCache(TestHome::read(path)).value_or(QList<MCPToolProbeCache_v2>{}))
        records.insert(record.mcpName, record);
    return records;
}

} // namespace

class TestMCPToolProbe : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_cacheFile = m_home->path() + QStringLiteral("/support/mcp_probe_cache_v2.json");
        m_log = m_home->path() + QStringLiteral("/starts.log");
    }
    void cleanup() { m_home.reset(); }

    void sharedInstanceUsesTheQuorlaneFolder()
    {
        QCOMPARE(MCPToolProbe::shared().cacheFile(),
                 m_home->configDir() + QStringLiteral("/Quorlane/mcp_probe_cache_v2.json"));
        QCOMPARE(&MCPToolProbe::shared(), &MCPToolProbe::shared());
    }

    void referenceDate()
    {
        QCOMPARE(MCPToolProbe::referenceSeconds(QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC)), 0.0);
        QCOMPARE(MCPToolProbe::referenceSeconds(QDateTime(QDate(2001, 1, 2), QTime(0, 0, 1, 500), Qt::UTC)),
                 86401.5);
    }

    void freshness_data()
    {
        QTest::addColumn<double>("age");
        QTest::addColumn<bool>("probed");
        QTest::newRow("6 days 23 hours old") << double(6 * 86400 + 23 * 3600) << false;
        QTest::newRow("7 days and 1 second old") << double(7 * 86400 + 1) << true;
        QTest::newRow("30 days old") << double(30 * 86400) << true;
        QTest::newRow("stamped an hour in the future") << -3600.0 << false;
    }
    void freshness()
    {
        QFETCH(double, age);
        QFETCH(bool, probed);
        QDir().mkpath(QFileInfo(m_cacheFile).absolutePath());
        writeFile(m_cacheFile, MCPToolProbe::encodeCache({{QStringLiteral("srv"), 4242, now2001() - age}}));
        MCPToolProbe probe(m_cacheFile);
        const qint64 tokens =
            QCoro::waitFor(probe.tokensPerMessage(countedServer(QStringLiteral("srv"), m_log)));
        QCOMPARE(tokens, probed ? qint64(2000) : qint64(4242));
        QCOMPARE(starts(m_log), probed ? 1 : 0);
        QCOMPARE(recordsOnDisk(m_cacheFile).value(QStringLiteral("srv")).tokensPerMessage, tokens);
    }

    void unreadableCacheStartsEmpty_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QByteArray good = R"({"mcpName":"other","tokensPerMessage":3000,"timestamp":%1})";
        const QByteArray fresh = good.replace("%1", QByteArray::number(now2001(), 'f', 3));
        QTest::newRow("one malformed element") << "[" + fresh + R"(,{"mcpName":"srv","timestamp":1}])";
        QTest::newRow("tokens as text")
            << "[" + fresh + R"(,{"mcpName":"srv","tokensPerMessage":"9","timestamp":1}])";
        QTest::newRow("not JSON") << QByteArray("[{\"mcpName\":");
        QTest::newRow("an object, not an array") << QByteArray(R"({"srv":{"tokensPerMessage":9}})");
    }
    void unreadableCacheStartsEmpty()
    {
        QFETCH(QByteArray, contents);
        QDir().mkpath(QFileInfo(m_cacheFile).absolutePath());
        writeFile(m_cacheFile, contents);
        MCPToolProbe probe(m_cacheFile);
        QVERIFY(probe.cachedTokenWeights().isEmpty());
        QCOMPARE(QCoro::waitFor(probe.tokensPerMessage(countedServer(QStringLiteral("srv"), m_log))),
                 qint64(2000));
        QCOMPARE(starts(m_log), 1);
        // Rewritten in the current format, with what this run knows.
        const auto records = recordsOnDisk(m_cacheFile);
        QCOMPARE(records.keys(), QList<QString>{QStringLiteral("srv")});
    }

    void failedProbeIsCachedToo()
    {
        MCPToolProbe probe(m_cacheFile);
        MCPServerEntry broken;
        broken.name = QStringLiteral("srv");
        broken.command = QStringLiteral("no-such-mcp-server");
        const double before = now2001();
        QCOMPARE(QCoro::waitFor(probe.tokensPerMessage(broken)), qint64(1500));
        const MCPToolProbeCache_v2 record = recordsOnDisk(m_cacheFile).value(QStringLiteral("srv"));
        QCOMPARE(record.tokensPerMessage, qint64(1500));
        QVERIFY(record.timestamp >= before - 1 && record.timestamp <= now2001() + 1);

        // Within seven days the name is answered from the cache, whatever its definition now.
        QCOMPARE(QCoro::waitFor(probe.tokensPerMessage(countedServer(QStringLiteral("srv"), m_log))),
                 qint64(1500));
        QCOMPARE(starts(m_log), 0);
        // And by a new instance reading the file, as after a restart.
        MCPToolProbe restarted(m_cacheFile);
        QCOMPARE(QCoro::waitFor(restarted.tokensPerMessage(countedServer(QStringLiteral("srv"), m_log))),
                 qint64(1500));
        QCOMPARE(starts(m_log), 0);
    }

    void fileHoldsEveryNameWithItsLatestValue()
    {
        QDir().mkpath(QFileInfo(m_cacheFile).absolutePath());
        const double old = now2001() - 8 * 86400;
        writeFile(m_cacheFile, MCPToolProbe::encodeCache({{QStringLiteral("kept"), 3100, now2001() - 60},
                                                          {QStringLiteral("stale"), 9999, old},
                                                          {QStringLiteral("stale"), 7777, old}}));
        MCPToolProbe probe(m_cacheFile);
        // A later element of the same name replaced the earlier one.
        QCOMPARE(probe.cachedTokenWeights().value(QStringLiteral("stale")), qint64(7777));
        QCOMPARE(QCoro::waitFor(probe.tokensPerMessage(countedServer(QStringLiteral("stale"), m_log))),
                 qint64(2000));
        QCOMPARE(QCoro::waitFor(probe.tokensPerMessage(countedServer(QStringLiteral("new"), m_log))),
                 qint64(2000));

        const auto records = recordsOnDisk(m_cacheFile);
        QCOMPARE(records.size(), 3);
        QCOMPARE(records[QStringLiteral("kept")].tokensPerMessage, qint64(3100));
        QCOMPARE(records[QStringLiteral("stale")].tokensPerMessage, qint64(2000));
        QVERIFY(records[QStringLiteral("stale")].timestamp > old + 86400);
        QCOMPARE(records[QStringLiteral("new")].tokensPerMessage, qint64(2000));
        const QHash<QString, qint64> weights{
            {QStringLiteral("kept"), 3100}, {QStringLiteral("stale"), 2000}, {QStringLiteral("new"), 2000}};
        QCOMPARE(probe.cachedTokenWeights(), weights);
    }

    void fileFormat()
    {
        const QByteArray bytes = MCPToolProbe::encodeCache({{QStringLiteral("a/b"), 1500, 786000000.25}});
        QVERIFY(!bytes.contains('\n') && !bytes.contains(' '));
        const auto parsed = nlohmann::json::parse(bytes.toStdString());
        QVERIFY(parsed.is_array() && parsed.size() == 1);
        QVERIFY(parsed[0]["mcpName"] == "a/b");
        QVERIFY(parsed[0]["tokensPerMessage"].is_number_integer() && parsed[0]["tokensPerMessage"] == 1500);
        QVERIFY(parsed[0]["timestamp"] == 786000000.25);
        // Whole numbers written with a fraction read back as integers.
        const auto decoded =
            MCPToolProbe::decodeCache(R"([{"mcpName":"x","tokensPerMessage":1500.0,"timestamp":786000000}])");
        QVERIFY(decoded);
        QCOMPARE(decoded->first(), (MCPToolProbeCache_v2{QStringLiteral("x"), 1500, 786000000.0}));
    }

    // Each server answers only once the other has started: if one probe waited for the other
    // (a lock held across a probe, or one worker for all), neither would measure 2000.
    void differentServersAreProbedAtOnce()
    {
        MCPToolProbe probe(m_cacheFile);
        const QString markA = m_home->path() + QStringLiteral("/a.started");
        const QString markB = m_home->path() + QStringLiteral("/b.started");
        const auto server = [](const QString &name, const QString &mine, const QString &other) {
            return fakeStdioServer(name, QStringLiteral("plain"),
                                   {QStringLiteral("--mark"), mine, QStringLiteral("--wait-for"), other});
        };
        auto a = probe.tokensPerMessage(server(QStringLiteral("a"), markA, markB));
        auto b = probe.tokensPerMessage(server(QStringLiteral("b"), markB, markA));
        QCOMPARE(QCoro::waitFor(std::move(a)), qint64(2000));
        QCOMPARE(QCoro::waitFor(std::move(b)), qint64(2000));
        QCOMPARE(recordsOnDisk(m_cacheFile).size(), 2);
    }

    void httpServersGoOverHttp()
    {
        const auto server = LocalHttpServer::fake(QStringLiteral("json"));
        MCPToolProbe probe(m_cacheFile);
        // A command too, but the url decides.
        MCPServerEntry entry = countedServer(QStringLiteral("remote"), m_log);
        entry.url = server->url();
        QCOMPARE(QCoro::waitFor(probe.tokensPerMessage(entry)), qint64(2000));
        QCOMPARE(server->requests().size(), 3);
        QCOMPARE(starts(m_log), 0);
        // An empty url means a local command.
        entry.name = QStringLiteral("local");
        entry.url = QString();
        QCOMPARE(QCoro::waitFor(probe.tokensPerMessage(entry)), qint64(2000));
        QCOMPARE(starts(m_log), 1);
    }

private:
    std::unique_ptr<TestHome> m_home;
    QString m_cacheFile;
    QString m_log;
};

QTEST_GUILESS_MAIN(TestMCPToolProbe)
#include "tst_mcptoolprobe.moc"
