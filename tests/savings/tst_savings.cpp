#include "TestHome.h"
#include "savings/TokenSavingsService.h"
#include "savings/TranscriptFile.h"
#include "savings/TranscriptScan.h"

#include <QCoro/QCoroTask>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <QtConcurrent/QtConcurrentRun>

#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QDateTime fixedNow = QDateTime::fromString(QStringLiteral("2026-12-05T00:00:00Z"), Qt::ISODate);
constexpr qint64 day = 86400;
const QStringList justA{QStringLiteral("a")};

QByteArray user(const QByteArray &timestampJson)
{
    return "{\"type\":\"user\",\"message\":{\"content\":\"hi\"},\"timestamp\":" + timestampJson + "}";
}
QByteArray ago(qint64 seconds)
{
    return QByteArray::number(fixedNow.toSecsSinceEpoch() - seconds);
}
// As Claude Code writes it: milliseconds, here in the zone `offset` seconds east of UTC.
QByteArray isoAgo(qint64 seconds, int offset = 0, qint64 extraMs = 0)
{
    const QDateTime at = fixedNow.addSecs(-seconds).addMSecs(-extraMs).toOffsetFromUtc(offset);
    return '\"' + at.toString(Qt::ISODateWithMs).toUtf8() + '\"';
}

#ifndef __SANITIZE_ADDRESS__
double peakResidentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}
#endif

void setModified(const QString &path, const QDateTime &time)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite) && file.setFileTime(time, QFileDevice::FileModificationTime));
}

} // namespace

class TestSavings : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<TokenSavingsService> m_service;

    QString write(const QString &relative, const QByteArray &contents) const
    {
        return m_home->write(QStringLiteral(".claude/projects/") + relative, contents);
    }
    SavingsStat refreshed(const QStringList &disabled = justA, const QHash<QString, qint64> &weights = {})
    {
        QCoro::waitFor(m_service->refresh(disabled, weights));
        return m_service->savingsStat();
    }

private Q_SLOTS:
    void initTestCase()
    {
        // The window is counted in calendar days of the local zone; pin it.
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

    void nameDisabledTwiceCountsTwice()
    {
        write(QStringLiteral("-home-dev-app/s1.jsonl"), user(ago(10 * day)) + "\n");
        QSignalSpy changed(m_service.get(), &TokenSavingsService::savingsStatChanged);
        const SavingsStat stat = refreshed({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("a")},
                                           {{QStringLiteral("a"), 2000}});
        QCOMPARE(stat.totalTokensSaved, 5500);
        QCOMPARE(stat.sessionsAnalyzed, 1);
        QVERIFY(qFuzzyCompare(stat.estimatedCostSaved, 0.0165));
        QCOMPARE(changed.count(), 1);
    }

    // Each row is one line followed by a user line of yesterday: 2 when the line counts too, 1
    // when it does not, 0 when the file is not text and is skipped whole.
    void lines_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("counted");
        QTest::newRow("seconds, exactly 30 days ago") << user(ago(30 * day)) << 2;
        QTest::newRow("seconds with a fraction, 30 days and 0.5 s ago")
            << user(ago(30 * day + 1) + ".5") << 1;
        // Claude Code writes milliseconds; the window applies to them like to whole seconds.
        QTest::newRow("milliseconds, exactly 30 days ago") << user(isoAgo(30 * day)) << 2;
        QTest::newRow("milliseconds, 30 days and 1 ms ago") << user(isoAgo(30 * day, 0, 1)) << 1;
        QTest::newRow("offset and milliseconds, 30 days and 1 ms ago")
            << user(isoAgo(30 * day, 2 * 3600, 1)) << 1;
        QTest::newRow("whole seconds with offset, 31 days ago")
            << user("\"" + fixedNow.addDays(-31).toOffsetFromUtc(-5 * 3600).toString(Qt::ISODate).toUtf8() +
                    "\"")
            << 1;
        QTest::newRow("microseconds, 29 February 2024") << user("\"2024-02-29T00:00:00.000001Z\"") << 1;
        QTest::newRow("date before type")
            << QByteArray(R"({"timestamp":"2020-01-01T00:00:00.000Z","type":"user"})") << 1;
        QTest::newRow("later duplicate timestamp wins") << user("1,\"timestamp\":" + isoAgo(day)) << 2;
        // A date that cannot be read at all leaves the message undated, and undated messages count.
        for (const char *text :
             {"2020-01-01T00:00:00", "2020-01-01 00:00:00Z", "2020-01-01T00:00:00.Z", "2020-01-01T00:00:00.5",
              "2020-01-01T01:00:00+0100", "2025-02-29T00:00:00Z", "2020-01-01T24:00:00Z", "yesterday"})
            QTest::newRow(text) << user('\"' + QByteArray(text) + '\"') << 2;
        QTest::newRow("no timestamp") << QByteArray(R"({"type":"user"})") << 2;
        QTest::newRow("escaped type value") << QByteArray(R"({"type":"\u0075ser"})") << 2;
        QTest::newRow("carriage return and spaces around") << QByteArray("  {\"type\":\"user\"}  \r") << 2;
        QTest::newRow("assistant") << QByteArray(R"({"type":"assistant","timestamp":)" + ago(day) + "}") << 1;
        QTest::newRow("earlier duplicate type loses")
            << QByteArray(R"({"type":"user","type":"summary"})") << 1;
        QTest::newRow("user only nested") << QByteArray(R"({"type":"x","message":{"type":"user"}})") << 1;
        QTest::newRow("trailing comma nested") << QByteArray(R"({"type":"user","m":[1,2,]})") << 1;
        QTest::newRow("nesting too deep")
            << QByteArray(R"({"type":"user","m":)" + QByteArray(600, '[') + QByteArray(600, ']') + "}") << 1;
        QTest::newRow("invalid UTF-8 in a user line")
            << QByteArray("{\"type\":\"user\",\"m\":\"\xff\"}") << 0;
        QTest::newRow("invalid UTF-8 in a line that is not JSON") << QByteArray("{\"type\": \"\xc3") << 0;
    }
    void lines()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, counted);
        write(QStringLiteral("p/s.jsonl"), line + "\n" + user(ago(day)) + "\n");
        QCOMPARE(refreshed().sessionsAnalyzed, counted);
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
        const qint64 windowStart = now.toSecsSinceEpoch() - 30 * day;
        write(QStringLiteral("p/s.jsonl"), user(QByteArray::number(windowStart - 1800)) + "\n" +
                                               user(QByteArray::number(windowStart - 5400)));
        QCOMPARE(refreshed().sessionsAnalyzed, 1);
    }

    void onlyTranscriptsOneLevelDownAreRead()
    {
        const QByteArray one = user(ago(day)) + "\n";
        for (const char *path : {"p/counted.jsonl", ".hidden-project/counted.jsonl", "p/.jsonl",
                                 "p/upper.JSONL", "p/notes.txt", "p/sub/deeper.jsonl", "top-level.jsonl"})
            write(QLatin1String(path), one);
        QDir().mkpath(m_home->path() + QStringLiteral("/.claude/projects/p/folder.jsonl"));
        write(QStringLiteral("p/mixed-endings.jsonl"), "\n\n" + user(ago(day)) + "\r\n\r\n" + user("1"));
        // counted.jsonl twice, .jsonl, and the one recent line of mixed-endings.jsonl.
        QCOMPARE(refreshed().sessionsAnalyzed, 4);
        QCOMPARE(m_service->fileCache().size(), 4);
    }

    void missingProjectsFolderGivesZeros()
    {
        write(QStringLiteral("p/s.jsonl"), user(ago(day)));
        QCOMPARE(refreshed().sessionsAnalyzed, 1);
        QVERIFY(QDir(m_home->path() + QStringLiteral("/.claude/projects")).removeRecursively());
        QCOMPARE(refreshed(), SavingsStat{});
        m_home->write(QStringLiteral(".claude/projects"), user(ago(day)));
        QCOMPARE(refreshed(), SavingsStat{});
    }

    void nothingDisabledGivesZerosAtOnceAndReadsNothing()
    {
        write(QStringLiteral("p/first.jsonl"), user(ago(day)));
        QCOMPARE(refreshed().sessionsAnalyzed, 1);
        const FileCache before = m_service->fileCache();
        write(QStringLiteral("p/second.jsonl"), user(ago(day)));
        auto task = m_service->refresh({}, {{QStringLiteral("a"), 5}});
        QCOMPARE(m_service->savingsStat(), SavingsStat{}); // before any event: no worker involved
        QCoro::waitFor(std::move(task));
        QCOMPARE(m_service->fileCache(), before);
    }

    // A file is read again only when its modification time moves forward; a deleted file
    // stops counting.
    void filesAreReadAgainOnlyWhenTheirTimeMovesForward()
    {
        const QString first = write(QStringLiteral("p/first.jsonl"), user(ago(day)));
        const QString second = write(QStringLiteral("q/second.jsonl"), user(ago(day)));
        const QDateTime written = QDateTime::currentDateTime().addSecs(-100);
        setModified(first, written);
        setModified(second, written);
        QCOMPARE(refreshed().sessionsAnalyzed, 2);
        const auto scan = [&] { return scanTranscripts(justA, {}, 1500, m_service->fileCache(), fixedNow); };
        QVERIFY(scan().updates.isEmpty());

        write(QStringLiteral("p/first.jsonl"), user(ago(day)) + "\n" + user(ago(day)));
        setModified(first, written.addSecs(-50));
        QCOMPARE(refreshed().sessionsAnalyzed, 2);
        setModified(first, written.addSecs(1));
        QCOMPARE(scan().updates.keys(), QList<QString>{first});
        QCOMPARE(refreshed().sessionsAnalyzed, 3);

        QVERIFY(QFile::remove(second));
        QCOMPARE(refreshed().sessionsAnalyzed, 2);
    }

    // A transcript is read in pieces; lines straddling them, a line longer than several pieces
    // and a last line without a newline must each be seen exactly once.
    void linesAcrossReadPieces_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<qint64>("userMessages");
        QByteArray straddling;
        qint64 users = 0;
        for (int i = 0; i < 3000; ++i) {
            const bool isUser = i % 3 != 1;
            straddling += "{\"type\":\"" + QByteArray(isUser ? "user" : "assistant") + "\",\"m\":\"" +
                          QByteArray(100 + (i * 37) % 1500, 'x') + "\"}\n";
            users += isUser;
        }
        const QByteArray huge = "{\"type\":\"user\",\"m\":\"" + QByteArray(1536 * 1024, 'y') + "\"}";
        QTest::newRow("many lines over several pieces") << straddling << users;
        QTest::newRow("one line longer than several pieces")
            << QByteArray("{\"type\":\"user\"}\n" + huge + "\n{\"type\":\"user\"}\n") << qint64(3);
        QTest::newRow("last line without a newline") << (straddling + huge) << users + 1;
    }
    void linesAcrossReadPieces()
    {
        QFETCH(QByteArray, contents);
        QFETCH(qint64, userMessages);
        const auto entry = loadTranscript(write(QStringLiteral("p/s.jsonl"), contents));
        QVERIFY(entry);
        QCOMPARE(entry->undatedUserMessages, userMessages);
    }

    void serviceDestroyedDuringRefresh()
    {
        write(QStringLiteral("p/s.jsonl"), user(ago(day)));
        auto *service = new TokenSavingsService;
        auto task = service->refresh(justA, {});
        delete service;
        QCoro::waitFor(std::move(task));
    }

    // A home laid out as today's Claude Code lays it out, in a folder moved with
    // CLAUDE_CONFIG_DIR; the generator computes the right answer on its own. Twenty days on,
    // the dates kept in the cache must give what a fresh reading of every file gives.
    void movedClaudeFolderMatchesTheGeneratorsFigures()
    {
        const QString moved = m_home->path() + QStringLiteral("/moved claude");
        qputenv("CLAUDE_CONFIG_DIR", moved.toUtf8());
        const auto restore = qScopeGuard([] { qunsetenv("CLAUDE_CONFIG_DIR"); });
        // The default folder no longer counts once Claude Code's folder has moved.
        m_home->write(QStringLiteral(".claude/projects/-old/s.jsonl"), user(ago(day)) + "\n");
        const TestHome::Run generated = m_home->run(
            QStringLiteral("python3"),
            {QStringLiteral(QUORLANE_GEN_TRANSCRIPTS), QStringLiteral("--home"), m_home->path(),
             QStringLiteral("--config-dir"), moved, QStringLiteral("--now"), fixedNow.toString(Qt::ISODate),
             QStringLiteral("--size"), QStringLiteral("2M"), QStringLiteral("--quiet")},
            {}, 120000);
        QCOMPARE(generated.exitCode, 0);
        const QJsonObject truth = QJsonDocument::fromJson(generated.out).object();
        const qint64 expected = truth.value(QStringLiteral("user_lines_counted")).toInteger(-1);
        QVERIFY(expected > 0 && expected < truth.value(QStringLiteral("user_lines_total")).toInteger());

        const QStringList disabled{QStringLiteral("a"), QStringLiteral("b")};
        const QHash<QString, qint64> weights{{QStringLiteral("a"), 2000}};
        const SavingsStat cold = refreshed(disabled, weights);
        QCOMPARE(cold.sessionsAnalyzed, expected);
        QCOMPARE(m_service->fileCache().size(), truth.value(QStringLiteral("files")).toInteger());

        const QDateTime later = fixedNow.addDays(20);
        const SavingsScanResult fromCache =
            scanTranscripts(disabled, weights, 1500, m_service->fileCache(), later);
        QVERIFY(fromCache.updates.isEmpty());
        QVERIFY(fromCache.sessionsAnalyzed < expected);
        QCOMPARE(fromCache.sessionsAnalyzed,
                 scanTranscripts(disabled, weights, 1500, {}, later).sessionsAnalyzed);
    }

    // Only regular files are read, none blocks the scan, and a line too long to keep is skipped
    // without holding it: a FIFO, a link to /dev/zero and a sparse gigabyte without a newline
    // beside a transcript whose one user line counts.
    void specialFilesNeitherBlockNorFillMemory()
    {
        write(QStringLiteral("p/s.jsonl"), user(ago(day)) + "\n");
        const QString folder = m_home->path() + QStringLiteral("/.claude/projects/p/");
        const QByteArray fifo = QFile::encodeName(folder + QStringLiteral("fifo.jsonl"));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), folder + QStringLiteral("zero.jsonl")));
        {
            QFile sparse(folder + QStringLiteral("sparse.jsonl"));
            QVERIFY(sparse.open(QIODevice::WriteOnly) && sparse.resize(qint64(1) << 30) &&
                    sparse.seek(sparse.size()));
            sparse.write("\n" + user(ago(day)) + "\n");
        }
        // The kernel's peak counter starts again from here.
        QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
        QVERIFY(clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1);
        clearRefs.close();

        QFuture<SavingsScanResult> scan =
            QtConcurrent::run([] { return scanTranscripts(justA, {}, 1500, {}, fixedNow); });
        const bool finished = QTest::qWaitFor([&] { return scan.isFinished(); }, 60000);
        if (!finished) {
            // Let a scan stuck on the FIFO end, so the failure is reported rather than hung.
            ::close(::open(fifo.constData(), O_WRONLY | O_NONBLOCK));
            scan.waitForFinished();
        }
        QVERIFY(finished);
        QCOMPARE(scan.result().sessionsAnalyzed, 2);
        // AddressSanitizer's quarantine keeps freed memory resident: the figure means nothing there.
#ifndef __SANITIZE_ADDRESS__
        QVERIFY2(peakResidentMiB() < 200, qPrintable(QString::number(peakResidentMiB())));
#endif
    }

    void formattedTexts_data()
    {
        QTest::addColumn<qint64>("tokens");
        QTest::addColumn<QString>("tokensText");
        QTest::addColumn<double>("cost");
        QTest::addColumn<QString>("costText");
        QTest::newRow("999, three tenths of a cent")
            << qint64(999) << QStringLiteral("999") << 0.003 << QStringLiteral("$0.0030");
        QTest::newRow("1000, exactly a cent")
            << qint64(1000) << QStringLiteral("1.0K") << 0.01 << QStringLiteral("$0.010");
        QTest::newRow("1499, a cent and a half")
            << qint64(1499) << QStringLiteral("1.5K") << 0.015 << QStringLiteral("$0.015");
        QTest::newRow("999,999, exactly a dollar")
            << qint64(999999) << QStringLiteral("1000.0K") << 1.0 << QStringLiteral("$1.00");
        QTest::newRow("1,234,567, 3 dollars")
            << qint64(1234567) << QStringLiteral("1.2M") << 3.0 << QStringLiteral("$3.00");
    }
    void formattedTexts()
    {
        QFETCH(qint64, tokens);
        QFETCH(QString, tokensText);
        QFETCH(double, cost);
        QFETCH(QString, costText);
        QCOMPARE(SavingsStat({tokens, 0, cost}).formattedTokensSaved(), tokensText);
        QCOMPARE(SavingsStat({tokens, 0, cost}).formattedCostSaved(), costText);
    }
};

QTEST_GUILESS_MAIN(TestSavings)
#include "tst_savings.moc"
