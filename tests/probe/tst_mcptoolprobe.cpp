#include "ProbeServers.h"
#include "TestHome.h"
#include "probe/MCPToolProbe.h"

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

// One element of the cache file: a global server's figure for `definition`, or, without one, an
// element of the older format that kept one figure per name.
QByteArray record(const char *name, qint64 tokens, double timestamp, const QString &definition = {})
{
    const QString server = definition.isEmpty()
                               ? QString()
                               : QStringLiteral(R"("source":"global","definition":"%1",)").arg(definition);
    return QStringLiteral(R"({%1"mcpName":"%2","tokensPerMessage":%3,"timestamp":%4})")
        .arg(server, QLatin1String(name))
        .arg(tokens)
        .arg(timestamp, 0, 'f', 3)
        .toUtf8();
}

ProbeIdentity global(const QString &name)
{
    return {MCPSource::global, {}, name};
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
    QList<MCPToolProbeCache_v2> records() const
    {
        return MCPToolProbe::decodeCache(TestHome::read(m_cacheFile)).value_or(QList<MCPToolProbeCache_v2>{});
    }
    QHash<QString, qint64> onDisk() const
    {
        QHash<QString, qint64> figures;
        for (const auto &r : records())
            figures.insert(r.server.name, r.tokensPerMessage);
        return figures;
    }
    qint64 estimate(MCPToolProbe &probe, const MCPServerEntry &entry)
    {
        return QCoro::waitFor(probe.tokensPerMessage(entry));
    }
    ProbeResult estimate(MCPToolProbe &probe, const ProbeIdentity &server, const MCPServerEntry &entry)
    {
        return QCoro::waitFor(probe.estimate(server, entry));
    }

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_cacheFile = m_home->path() + QStringLiteral("/support/mcp_probe_cache_v2.json");
        m_log = m_home->path() + QStringLiteral("/starts.log");
    }
    void cleanup() { m_home.reset(); }

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
        // A later element of one server and definition replaces an earlier one; other servers stay.
        const QString srv = MCPToolProbe::definitionFingerprint(counted(QStringLiteral("srv")));
        m_home->write(m_cacheFile, "[" + record("kept", 3100, now2001() - 60, QStringLiteral("0")) + "," +
                                       record("srv", 9999, now2001() - 60, srv) + "," +
                                       record("srv", 4242, now2001() - age, srv) + "]");
        MCPToolProbe probe(m_cacheFile);
        const qint64 tokens = probed ? 2000 : 4242;
        QCOMPARE(
            estimate(probe, global(QStringLiteral("srv")), counted(QStringLiteral("srv"))).tokensPerMessage,
            tokens);
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
        QTest::newRow("one figure per name, as older versions wrote")
            << "[" + record("srv", 3000, now2001()) + "]";
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

    // A server that gave no tool list is not started again within a minute, even once it could
    // answer.
    void failedProbeIsNotRepeatedAtOnce()
    {
        MCPServerEntry server;
        server.name = QStringLiteral("srv");
        server.command = m_home->path() + QStringLiteral("/bin/server");
        MCPToolProbe probe(m_cacheFile);
        QCOMPARE(estimate(probe, global(server.name), server), ProbeResult{});
        m_home->write(server.command, "#!/bin/sh\nexec python3 '" + fakeServer.toUtf8() +
                                          "' stdio plain --log '" + m_log.toUtf8() + "'\n");
        QVERIFY(QFile::setPermissions(server.command, QFile::ReadOwner | QFile::ExeOwner));
        QCOMPARE(estimate(probe, global(server.name), server), ProbeResult{});
        QCOMPARE(starts(), 0);
    }

    // A server's figure belongs to its definition: any change a probe would see measures it
    // again, and the new figure replaces the old one.
    void changedDefinitionIsMeasuredAgain_data()
    {
        QTest::addColumn<QStringList>("extraArgs");
        QTest::addColumn<QString>("env");
        QTest::addColumn<qint64>("tokens");
        QTest::newRow("arguments") << QStringList{QStringLiteral("--size"), QStringLiteral("12000")}
                                   << QString() << qint64(3000);
        QTest::newRow("environment") << QStringList{} << QStringLiteral("on") << qint64(2000);
    }
    void changedDefinitionIsMeasuredAgain()
    {
        QFETCH(QStringList, extraArgs);
        QFETCH(QString, env);
        QFETCH(qint64, tokens);
        MCPToolProbe probe(m_cacheFile);
        MCPServerEntry server = counted(QStringLiteral("srv"));
        QCOMPARE(estimate(probe, global(server.name), server).tokensPerMessage, qint64(2000));
        *server.args += extraArgs;
        if (!env.isEmpty())
            server.env = QMap<QString, QString>{{QStringLiteral("PROBE_VAR"), env}};
        QCOMPARE(estimate(probe, global(server.name), server).tokensPerMessage, tokens);
        QCOMPARE(starts(), 2);
        QCOMPARE(records().size(), 1);
        QCOMPARE(records().first().definition, MCPToolProbe::definitionFingerprint(server));
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
