// 'quorlane savings' joins three stores: the sidecar records say which project servers are off
// (in every listed project, so a name off twice counts twice), the probe cache says what each
// costs, and the transcripts say how many messages were sent without them.
#include "TestHome.h"
#include "store/QuorlaneProjectConfig.h"

#include <QTest>

#include <nlohmann/json.hpp>

class TestSavingsCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void savingsJoinSidecarsCacheAndTranscripts()
    {
        TestHome home;
        home.write(
            QStringLiteral(".claude.json"),
            "{\"projects\":{\"/w/p\":{\"mcpServers\":{\"a\":{\"command\":\"x\"},\"b\":{\"command\":\"y\"}}},"
            "\"/w/q\":{\"mcpServers\":{\"a\":{\"command\":\"x\"}}},"
            "\"/w/unlisted\":{\"mcpServers\":{}}}}");
        QuorlaneProjectConfig p;
        p.disabled = {"a", "b"};
        p.save(QStringLiteral("/w/p"));
        QuorlaneProjectConfig q;
        q.disabled = {"a"};
        q.save(QStringLiteral("/w/q"));
        // A project that is not listed (no servers) does not count, whatever its record says.
        QuorlaneProjectConfig unlisted;
        unlisted.disabled = {"a"};
        unlisted.save(QStringLiteral("/w/unlisted"));
        home.write(home.configDir() + QStringLiteral("/Quorlane/mcp_probe_cache_v2.json"),
                   "[{\"mcpName\":\"a\",\"tokensPerMessage\":2000,\"timestamp\":0}]");
        // Two user lines count (one undated, one with fractional seconds, which reads as undated);
        // the assistant line and the user line from 2020 do not.
        home.write(QStringLiteral(".claude/projects/-w-p/s.jsonl"),
                   "{\"type\":\"user\"}\n"
                   "{\"type\":\"user\",\"timestamp\":\"2020-01-01T00:00:00.000Z\"}\n"
                   "{\"type\":\"assistant\"}\n"
                   "{\"type\":\"user\",\"timestamp\":\"2020-01-01T00:00:00Z\"}\n");

        const TestHome::Run run = home.runQuorlane({QStringLiteral("savings"), QStringLiteral("--json")});
        QCOMPARE(run.exitCode, 0);
        const auto result = nlohmann::json::parse(run.out.toStdString());
        // Per counted line: a 2000 (cached) + b 1500 (fallback) + a again 2000 = 5500.
        QCOMPARE(result["totalTokensSaved"].get<qint64>(), qint64(11000));
        QCOMPARE(result["sessionsAnalyzed"].get<qint64>(), qint64(2));
        QCOMPARE(result["estimatedCostSaved"].get<double>(), 0.033);
        QCOMPARE(QString::fromStdString(result["formattedTokensSaved"]), QStringLiteral("11.0K"));
        QCOMPARE(QString::fromStdString(result["formattedCostSaved"]), QStringLiteral("$0.033"));
    }

    void nothingSwitchedOffSavesNothing()
    {
        TestHome home;
        home.write(QStringLiteral(".claude/projects/-w-p/s.jsonl"), "{\"type\":\"user\"}\n");
        const TestHome::Run run = home.runQuorlane({QStringLiteral("savings")});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.contains("Tokens saved (30 days): 0\n"), run.out.constData());
        QVERIFY(run.out.contains("$0.0000"));
    }
};

QTEST_GUILESS_MAIN(TestSavingsCommand)
#include "tst_savingscommand.moc"
