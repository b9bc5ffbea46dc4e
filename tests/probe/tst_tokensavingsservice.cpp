#include "TestHome.h"
#include "probe/TokenSavingsService.h"
#include "probe/TranscriptFile.h"
#include "probe/TranscriptScan.h"

#include <QCoro/QCoroTask>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QtTest>

#include <ctime>

#include <nlohmann/json.hpp>

namespace {

const QDateTime fixedNow = QDateTime::fromString(QStringLiteral("2026-12-05T00:00:00Z"), Qt::ISODate);

QByteArray userLine(const QByteArray &timestampJson)
{
    return "{\"type\":\"user\",\"message\":{\"role\":\"user\",\"content\":\"hello\"},\"timestamp\":" +
           timestampJson + "}";
}

QByteArray secondsAgo(qint64 seconds)
{
    return QByteArray::number(fixedNow.toSecsSinceEpoch() - seconds);
}

QByteArray isoDaysAgo(int days)
{
    return '"' + fixedNow.addDays(-days).toString(Qt::ISODate).toUtf8() + '"';
}

constexpr qint64 day = 86400;

// A transcript folder under the temporary home, with helpers to write and age its files.
class Transcripts
{
public:
    explicit Transcripts(const TestHome &home) : m_home(home) {}

    QString write(const QString &relative, const QByteArray &contents) const
    {
        return m_home.write(QStringLiteral(".claude/projects/") + relative, contents);
    }

    static void setModified(const QString &path, const QDateTime &time)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(time, QFileDevice::FileModificationTime));
    }

private:
    const TestHome &m_home;
};

SavingsStat refreshed(TokenSavingsService &service, const QStringList &disabled,
                      const QHash<QString, qint64> &weights)
{
    QCoro::waitFor(service.refresh(disabled, weights));
    return service.savingsStat();
}

SavingsScanResult scan(const FileCache &cache, const QDateTime &now = fixedNow)
{
    return scanTranscripts({QStringLiteral("a")}, {}, TokenSavingsService::fallbackTokensPerServer, cache,
                           now);
}

// An independent count of the same rule: a strict JSON parse of every line, the date read with
// Qt's own ISO parser after a pattern check. It stands for the design that keeps raw lines.
qint64 referenceCount(const QString &root, const QDateTime &now)
{
    static const QRegularExpression wholeSecond(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d(Z|[+-]\\d\\d:\\d\\d)$"));
    const double windowStart =
        static_cast<double>(now.toLocalTime().addDays(-30).toMSecsSinceEpoch()) / 1000.0;
    qint64 counted = 0;
    const auto everything = QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot;
    for (const QString &project : QDir(root).entryList(everything)) {
        const QString folder = root + QLatin1Char('/') + project;
        for (const QString &name :
             QDir(folder).entryList({QStringLiteral("*.jsonl")}, QDir::Files | QDir::Hidden)) {
            QFile file(folder + QLatin1Char('/') + name);
            if (!file.open(QIODevice::ReadOnly))
                continue;
            for (const QByteArray &line : file.readAll().split('\n')) {
                if (line.isEmpty())
                    continue;
                const auto json =
                    nlohmann::json::parse(line.constData(), line.constData() + line.size(), nullptr, false);
                if (!json.is_object() || !json.contains("type") || json["type"] != "user")
                    continue;
                std::optional<double> date;
                if (json.contains("timestamp") && json["timestamp"].is_number()) {
                    date = json["timestamp"].get<double>();
                } else if (json.contains("timestamp") && json["timestamp"].is_string()) {
                    const QString text = QString::fromStdString(json["timestamp"].get<std::string>());
                    if (wholeSecond.match(text).hasMatch())
                        date =
                            static_cast<double>(QDateTime::fromString(text, Qt::ISODate).toSecsSinceEpoch());
                }
                if (!date || *date >= windowStart)
                    ++counted;
            }
        }
    }
    return counted;
}

} // namespace

class TestTokenSavingsService : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<TokenSavingsService> m_service;

    [[nodiscard]] Transcripts transcripts() const { return Transcripts(*m_home); }

private Q_SLOTS:
    void initTestCase()
    {
        // The window is counted in calendar days of the local zone; pin it so the boundary rows
        // below do not move with the machine's daylight-saving dates.
        qputenv("TZ", "UTC");
        tzset();
    }

    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_service = std::make_unique<TokenSavingsService>();
        m_service->setClock([] { return fixedNow; });
    }

    void cleanup()
    {
        m_service.reset();
        m_home.reset();
    }

    void oneRecentMessageCountsEveryDisabledServer()
    {
        transcripts().write(QStringLiteral("-home-dev-app/s1.jsonl"), userLine(secondsAgo(10 * day)) + "\n");
        QSignalSpy changed(m_service.get(), &TokenSavingsService::savingsStatChanged);
        const SavingsStat stat =
            refreshed(*m_service, {QStringLiteral("a"), QStringLiteral("b")}, {{QStringLiteral("a"), 2000}});
        QCOMPARE(stat.totalTokensSaved, 3500);
        QCOMPARE(stat.sessionsAnalyzed, 1);
        QVERIFY(qFuzzyCompare(stat.estimatedCostSaved, 0.0105));
        QCOMPARE(changed.count(), 1);
    }

    void nameDisabledInTwoProjectsCountsTwice()
    {
        transcripts().write(QStringLiteral("p/s.jsonl"),
                            userLine(secondsAgo(day)) + "\n" + userLine(secondsAgo(day)));
        const SavingsStat stat =
            refreshed(*m_service, {QStringLiteral("a"), QStringLiteral("a")}, {{QStringLiteral("a"), 100}});
        QCOMPARE(stat.sessionsAnalyzed, 2);
        QCOMPARE(stat.totalTokensSaved, 400);
    }

    void window_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("counts");
        QTest::newRow("seconds, 40 days ago") << userLine(secondsAgo(40 * day)) << false;
        QTest::newRow("seconds, 29 days ago") << userLine(secondsAgo(29 * day)) << true;
        QTest::newRow("seconds, exactly 30 days ago") << userLine(secondsAgo(30 * day)) << true;
        QTest::newRow("seconds, 30 days and 1 s ago") << userLine(secondsAgo(30 * day + 1)) << false;
        QTest::newRow("seconds, in the future") << userLine(secondsAgo(-5 * day)) << true;
        QTest::newRow("text, 1 January 2020") << userLine("\"2020-01-01T00:00:00Z\"") << false;
        QTest::newRow("text, 10 days ago") << userLine(isoDaysAgo(10)) << true;
        QTest::newRow("text, 31 days ago") << userLine(isoDaysAgo(31)) << false;
        QTest::newRow("text with offset, 31 days ago")
            << userLine('"' + fixedNow.addDays(-31).toOffsetFromUtc(3600).toString(Qt::ISODate).toUtf8() +
                        '"')
            << false;
        QTest::newRow("fractional seconds, 2020") << userLine("\"2020-01-01T00:00:00.000Z\"") << true;
        QTest::newRow("no timestamp") << QByteArray("{\"type\":\"user\"}") << true;
        QTest::newRow("assistant, 1 day ago")
            << QByteArray("{\"type\":\"assistant\",\"timestamp\":" + secondsAgo(day) + "}") << false;
        QTest::newRow("no type") << QByteArray("{\"timestamp\":" + secondsAgo(day) + "}") << false;
        QTest::newRow("malformed") << QByteArray("{\"type\":\"user\",\"timestamp\":" + secondsAgo(day))
                                   << false;
    }

    void window()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, counts);
        transcripts().write(QStringLiteral("p/s.jsonl"), line + "\n");
        const SavingsStat stat = refreshed(*m_service, {QStringLiteral("a")}, {});
        QCOMPARE(stat.sessionsAnalyzed, counts ? 1 : 0);
        QCOMPARE(stat.totalTokensSaved, counts ? TokenSavingsService::fallbackTokensPerServer : 0);
    }

    // Thirty calendar days back across the end of daylight saving time are thirty days and one
    // hour: a message 30 days and half an hour old still counts.
    void windowFollowsTheLocalCalendar()
    {
        qputenv("TZ", "Europe/Berlin");
        tzset();
        const auto restore = qScopeGuard([] {
            qputenv("TZ", "UTC");
            tzset();
        });
        const QDateTime now = QDateTime::fromString(QStringLiteral("2026-11-20T12:00:00Z"), Qt::ISODate);
        m_service->setClock([now] { return now; });
        const qint64 thirtyDaysAgo = now.toSecsSinceEpoch() - 30 * day;
        transcripts().write(QStringLiteral("p/s.jsonl"),
                            userLine(QByteArray::number(thirtyDaysAgo - 1800)) + "\n" +
                                userLine(QByteArray::number(thirtyDaysAgo - 5400)));
        QCOMPARE(refreshed(*m_service, {QStringLiteral("a")}, {}).sessionsAnalyzed, 1);
    }

    void onlyTranscriptsOneLevelDownAreRead()
    {
        const QByteArray one = userLine(secondsAgo(day)) + "\n";
        const Transcripts t = transcripts();
        t.write(QStringLiteral("p/counted.jsonl"), one);
        t.write(QStringLiteral(".hidden-project/counted.jsonl"), one);
        t.write(QStringLiteral("p/.jsonl"), one);
        t.write(QStringLiteral("p/upper.JSONL"), one);
        t.write(QStringLiteral("p/notes.txt"), one);
        t.write(QStringLiteral("p/sub/deeper.jsonl"), one);
        t.write(QStringLiteral("top-level.jsonl"), one);
        QDir().mkpath(m_home->path() + QStringLiteral("/.claude/projects/p/folder.jsonl"));
        t.write(QStringLiteral("p/mixed-endings.jsonl"),
                "\n\n" + userLine(secondsAgo(day)) + "\r\n\r\n" + userLine("1"));
        t.write(QStringLiteral("p/not-utf8.jsonl"), one + "{\"type\":\"user\",\"m\":\"\xc3\x28\"}\n" + one);

        const SavingsStat stat = refreshed(*m_service, {QStringLiteral("a")}, {});
        // counted.jsonl twice, .jsonl, and the one recent line of mixed-endings.jsonl.
        QCOMPARE(stat.sessionsAnalyzed, 4);
        const QString root = m_home->path() + QStringLiteral("/.claude/projects");
        QVERIFY(m_service->fileCache().contains(root + QStringLiteral("/p/mixed-endings.jsonl")));
        QVERIFY(!m_service->fileCache().contains(root + QStringLiteral("/p/not-utf8.jsonl")));
        QVERIFY(!m_service->fileCache().contains(root + QStringLiteral("/p/folder.jsonl")));
        QCOMPARE(m_service->fileCache().size(), 4);
    }

    void missingOrUnlistableProjectsFolderGivesZeros_data()
    {
        QTest::addColumn<bool>("asFile");
        QTest::newRow("nothing there") << false;
        QTest::newRow("a file in its place") << true;
    }

    void missingOrUnlistableProjectsFolderGivesZeros()
    {
        QFETCH(bool, asFile);
        transcripts().write(QStringLiteral("p/s.jsonl"), userLine(secondsAgo(day)));
        QCOMPARE(refreshed(*m_service, {QStringLiteral("a")}, {}).sessionsAnalyzed, 1);
        QVERIFY(QDir(m_home->path() + QStringLiteral("/.claude/projects")).removeRecursively());
        if (asFile)
            m_home->write(QStringLiteral(".claude/projects"), userLine(secondsAgo(day)));
        QCOMPARE(refreshed(*m_service, {QStringLiteral("a")}, {}), SavingsStat{});
    }

    void nothingDisabledGivesZerosAtOnceAndReadsNothing()
    {
        const Transcripts t = transcripts();
        t.write(QStringLiteral("p/first.jsonl"), userLine(secondsAgo(day)));
        QCOMPARE(refreshed(*m_service, {QStringLiteral("a")}, {}).sessionsAnalyzed, 1);
        const FileCache before = m_service->fileCache();
        const QString later = t.write(QStringLiteral("p/second.jsonl"), userLine(secondsAgo(day)));

        auto task = m_service->refresh({}, {{QStringLiteral("a"), 5}});
        // Zero before any event is processed: no worker is involved.
        QCOMPARE(m_service->savingsStat(), SavingsStat{});
        QCoro::waitFor(std::move(task));
        QCOMPARE(m_service->fileCache(), before);
        QVERIFY(!m_service->fileCache().contains(later));
    }

    void unchangedFilesAreNotReadAgain()
    {
        const Transcripts t = transcripts();
        const QString first = t.write(QStringLiteral("p/first.jsonl"), userLine(secondsAgo(day)));
        const QString second = t.write(QStringLiteral("q/second.jsonl"), userLine(secondsAgo(day)));
        const QDateTime written = QDateTime::currentDateTime().addSecs(-100);
        Transcripts::setModified(first, written);
        Transcripts::setModified(second, written);
        QCOMPARE(refreshed(*m_service, {QStringLiteral("a")}, {}).sessionsAnalyzed, 2);

        QVERIFY(scan(m_service->fileCache()).updates.isEmpty());

        t.write(QStringLiteral("p/first.jsonl"),
                userLine(secondsAgo(day)) + "\n" + userLine(secondsAgo(day)));
        Transcripts::setModified(first, written.addSecs(10));
        const SavingsScanResult afterTouch = scan(m_service->fileCache());
        QCOMPARE(afterTouch.updates.keys(), QList<QString>{first});
        QCOMPARE(afterTouch.sessionsAnalyzed, 3);
        QCOMPARE(refreshed(*m_service, {QStringLiteral("a")}, {}).sessionsAnalyzed, 3);
        QVERIFY(scan(m_service->fileCache()).updates.isEmpty());
    }

    // The cache trusts a file until its time moves forward; a time set back keeps the old entry.
    void fileWhoseTimeWentBackKeepsItsEntry()
    {
        const Transcripts t = transcripts();
        const QString path = t.write(QStringLiteral("p/s.jsonl"), userLine(secondsAgo(day)));
        const QDateTime written = QDateTime::currentDateTime().addSecs(-100);
        Transcripts::setModified(path, written);
        QCOMPARE(refreshed(*m_service, {QStringLiteral("a")}, {}).sessionsAnalyzed, 1);

        t.write(QStringLiteral("p/s.jsonl"), userLine(secondsAgo(day)) + "\n" + userLine(secondsAgo(day)));
        Transcripts::setModified(path, written.addSecs(-50));
        QCOMPARE(refreshed(*m_service, {QStringLiteral("a")}, {}).sessionsAnalyzed, 1);

        Transcripts::setModified(path, written.addSecs(1));
        QCOMPARE(refreshed(*m_service, {QStringLiteral("a")}, {}).sessionsAnalyzed, 2);
    }

    void deletedTranscriptStopsCountingButKeepsItsEntry()
    {
        const Transcripts t = transcripts();
        const QString gone = t.write(QStringLiteral("p/gone.jsonl"), userLine(secondsAgo(day)));
        t.write(QStringLiteral("p/kept.jsonl"), userLine(secondsAgo(day)));
        QCOMPARE(refreshed(*m_service, {QStringLiteral("a")}, {}).sessionsAnalyzed, 2);
        QVERIFY(QFile::remove(gone));
        QCOMPARE(refreshed(*m_service, {QStringLiteral("a")}, {}).sessionsAnalyzed, 1);
        QVERIFY(m_service->fileCache().contains(gone));
    }

    // An entry made from an unreadable file is stale, and a file that becomes unreadable is
    // skipped rather than counted from memory.
    void entryOfAVanishedFileIsStale()
    {
        const QString path = transcripts().write(QStringLiteral("p/s.jsonl"), userLine(secondsAgo(day)));
        const auto entry = loadTranscript(path);
        QVERIFY(entry);
        QVERIFY(!isStale(*entry));
        QVERIFY(QFile::remove(path));
        QVERIFY(isStale(*entry));
        QVERIFY(!loadTranscript(path));
    }

    // A transcript is read in pieces; lines that straddle the pieces, a line longer than several
    // pieces and a last line without a newline must each be seen exactly once.
    void linesAcrossReadPieces_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<qint64>("userMessages");
        QByteArray straddling;
        qint64 users = 0;
        for (int i = 0; i < 3000; ++i) {
            const QByteArray body(100 + (i * 37) % 1500, 'x');
            const bool isUser = i % 3 != 1;
            straddling +=
                "{\"type\":\"" + QByteArray(isUser ? "user" : "assistant") + "\",\"m\":\"" + body + "\"}\n";
            users += isUser;
        }
        QTest::newRow("many lines over several pieces") << straddling << users;
        const QByteArray huge = "{\"type\":\"user\",\"m\":\"" + QByteArray(1536 * 1024, 'y') + "\"}";
        QTest::newRow("one line longer than several pieces")
            << QByteArray("{\"type\":\"user\"}\n" + huge + "\n{\"type\":\"user\"}\n") << qint64(3);
        QTest::newRow("last line without a newline") << (straddling + huge) << users + 1;
        QTest::newRow("empty file") << QByteArray() << qint64(0);
    }

    void linesAcrossReadPieces()
    {
        QFETCH(QByteArray, contents);
        QFETCH(qint64, userMessages);
        const QString path = transcripts().write(QStringLiteral("p/s.jsonl"), contents);
        const auto entry = loadTranscript(path);
        QVERIFY(entry);
        QCOMPARE(entry->undatedUserMessages, userMessages);
        QVERIFY(entry->userMessageDates.isEmpty());
    }

    void serviceDestroyedDuringRefresh()
    {
        transcripts().write(QStringLiteral("p/s.jsonl"), userLine(secondsAgo(day)));
        auto *service = new TokenSavingsService;
        auto task = service->refresh({QStringLiteral("a")}, {});
        delete service;
        QCoro::waitFor(std::move(task));
    }

    // A generated corpus whose right answer is known, and the same files counted again later
    // from the cache, against an independent count of the raw lines.
    void generatedCorpusMatchesItsGroundTruth()
    {
        const QString projects = m_home->path() + QStringLiteral("/.claude/projects");
        QProcess generator;
        generator.start(QStringLiteral("python3"),
                        {QStringLiteral(QUORLANE_GEN_TRANSCRIPTS), QStringLiteral("--home"), m_home->path(),
                         QStringLiteral("--size"), QStringLiteral("3M"), QStringLiteral("--projects"),
                         QStringLiteral("4"), QStringLiteral("--sessions-per-project"), QStringLiteral("5"),
                         QStringLiteral("--now"), fixedNow.toString(Qt::ISODate),
                         QStringLiteral("--plain-ts-fraction"), QStringLiteral("0.4"),
                         QStringLiteral("--truth-out"), m_home->path() + QStringLiteral("/truth.json"),
                         QStringLiteral("--quiet")});
        QVERIFY2(generator.waitForFinished(120000), "the transcript generator did not finish");
        QCOMPARE(generator.exitCode(), 0);
        const QJsonObject truth = QJsonDocument::fromJson(generator.readAllStandardOutput()).object();
        const qint64 expected =
            truth.value(QStringLiteral("user_lines_counted_whole_second_rule")).toInteger(-1);
        QVERIFY(expected > 0);
        // The window must matter, or this proves nothing about dates.
        QVERIFY(expected < truth.value(QStringLiteral("user_lines_total")).toInteger());

        const QHash<QString, qint64> weights{{QStringLiteral("a"), 2000}};
        const QStringList disabled{QStringLiteral("a"), QStringLiteral("b")};
        const SavingsStat cold = refreshed(*m_service, disabled, weights);
        QCOMPARE(cold.sessionsAnalyzed, expected);
        QCOMPARE(cold.totalTokensSaved, expected * 3500);
        QCOMPARE(cold.sessionsAnalyzed, referenceCount(projects, fixedNow));

        QCOMPARE(refreshed(*m_service, disabled, weights), cold);

        // Twenty days on, the cached dates must give what a fresh reading of every line gives.
        const QDateTime later = fixedNow.addDays(20);
        m_service->setClock([later] { return later; });
        const SavingsScanResult fromCache =
            scanTranscripts(disabled, weights, 1500, m_service->fileCache(), later);
        QVERIFY(fromCache.updates.isEmpty());
        QCOMPARE(fromCache.sessionsAnalyzed, referenceCount(projects, later));
        QVERIFY(fromCache.sessionsAnalyzed < expected);
        QCOMPARE(refreshed(*m_service, disabled, weights).sessionsAnalyzed, fromCache.sessionsAnalyzed);
    }

    void formattedTokensSaved_data()
    {
        QTest::addColumn<qint64>("tokens");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << QStringLiteral("0");
        QTest::newRow("999") << qint64(999) << QStringLiteral("999");
        QTest::newRow("1000") << qint64(1000) << QStringLiteral("1.0K");
        QTest::newRow("1499") << qint64(1499) << QStringLiteral("1.5K");
        QTest::newRow("1500") << qint64(1500) << QStringLiteral("1.5K");
        QTest::newRow("999,999 stays in thousands") << qint64(999999) << QStringLiteral("1000.0K");
        QTest::newRow("1,234,567") << qint64(1234567) << QStringLiteral("1.2M");
        QTest::newRow("2,300,000") << qint64(2300000) << QStringLiteral("2.3M");
    }

    void formattedTokensSaved()
    {
        QFETCH(qint64, tokens);
        QFETCH(QString, text);
        QCOMPARE(SavingsStat({tokens, 0, 0.0}).formattedTokensSaved(), text);
    }

    void formattedCostSaved_data()
    {
        QTest::addColumn<double>("cost");
        QTest::addColumn<QString>("text");
        QTest::newRow("3 dollars") << 3.0 << QStringLiteral("$3.00");
        QTest::newRow("exactly 1") << 1.0 << QStringLiteral("$1.00");
        QTest::newRow("one and a half cents") << 0.015 << QStringLiteral("$0.015");
        QTest::newRow("exactly a cent") << 0.01 << QStringLiteral("$0.010");
        QTest::newRow("three tenths of a cent") << 0.003 << QStringLiteral("$0.0030");
        QTest::newRow("zero") << 0.0 << QStringLiteral("$0.0000");
    }

    void formattedCostSaved()
    {
        QFETCH(double, cost);
        QFETCH(QString, text);
        QCOMPARE(SavingsStat({0, 0, cost}).formattedCostSaved(), text);
    }
};

QTEST_GUILESS_MAIN(TestTokenSavingsService)
#include "tst_tokensavingsservice.moc"
