#include "TestHome.h"
#include "store/MCPFileWatcher.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <memory>

namespace {

// Longer than any pause between the events one step causes, even on a loaded machine.
constexpr int kSettle = 1200;

} // namespace

class TestFileWatcher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_fired = 0;
        m_file = m_home->write(".claude.json", "{}");
    }
    void cleanup()
    {
        m_watcher.reset();
        m_home.reset();
    }

    // Each change is seen once, and so is every later one: Claude Code replaces the file by
    // rename on every write, and a deleted file may come back.
    void everyChangeFiresOnce_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("rewritten in place") << "write";
        QTest::newRow("deleted and created again") << "delete";
        QTest::newRow("replaced atomically by another program") << "replace";
    }
    void everyChangeFiresOnce()
    {
        QFETCH(QString, change);
        watch({m_file}, 0.5);
        for (int round = 1; round <= 3; ++round) {
            if (change == "write") {
                m_home->write(m_file, QByteArray::number(round));
            } else if (change == "delete") {
                QVERIFY(QFile::remove(m_file));
                QTRY_COMPARE_WITH_TIMEOUT(m_fired, 2 * round - 1, 10000);
                m_home->write(m_file, "{}");
            } else {
                // What Claude Code does: a temporary file moved over the old one, by another process.
                QProcess mover;
                mover.start("/bin/sh",
                            {"-c", "printf '{\"b\":2}' > \"$1.tmp\" && mv \"$1.tmp\" \"$1\"", "sh", m_file});
                QVERIFY(mover.waitForFinished(30000));
                QCOMPARE(mover.exitCode(), 0);
            }
            const int expected = change == "delete" ? 2 * round : round;
            QTRY_COMPARE_WITH_TIMEOUT(m_fired, expected, 10000);
            QTest::qWait(kSettle);
            QCOMPARE(m_fired, expected);
        }
        QCOMPARE(m_watcher->sourceCount(), 1);
    }

    void burstGivesOneCallback()
    {
        // A whole second of quiet, so the 0.2 s pauses of the burst stay well inside it.
        watch({m_file}, 1.0);
        for (int i = 0; i < 3; ++i) {
            m_home->write(m_file, QByteArray::number(i));
            QTest::qWait(200);
            QCOMPARE(m_fired, 0);
        }
        QTRY_COMPARE_WITH_TIMEOUT(m_fired, 1, 10000);
        QTest::qWait(kSettle);
        QCOMPARE(m_fired, 1);
    }

    // A missing file is watched through its folder; a path without a folder gives no source.
    void missingFileIsWatchedThroughItsFolder()
    {
        const QString missing = m_home->path() + "/Claude/claude_desktop_config.json";
        QDir().mkpath(m_home->path() + "/Claude");
        watch({missing, m_home->path() + "/absent/dir/file.json"}, 0.5);
        QCOMPARE(m_watcher->sourceCount(), 1);
        m_home->write(missing, "{}");
        QTRY_COMPARE_WITH_TIMEOUT(m_fired, 1, 10000);
        m_home->write("Claude/other.json", "{}"); // still the folder that is watched
        QTRY_COMPARE_WITH_TIMEOUT(m_fired, 2, 10000);
    }

    void pendingCallbackNeverRuns_data()
    {
        QTest::addColumn<bool>("destroyed");
        QTest::newRow("stopped twice") << false;
        QTest::newRow("watcher destroyed") << true;
    }
    void pendingCallbackNeverRuns()
    {
        QFETCH(bool, destroyed);
        watch({m_file}, 0.5);
        m_home->write(m_file, "[1]");
        QTRY_VERIFY_WITH_TIMEOUT(m_watcher->hasPendingFire(), 10000);
        if (destroyed) {
            m_watcher.reset();
        } else {
            m_watcher->stop();
            m_watcher->stop();
            QCOMPARE(m_watcher->sourceCount(), 0);
            m_home->write(m_file, "[2]");
        }
        QTest::qWait(kSettle);
        QCOMPARE(m_fired, 0);
    }

private:
    void watch(const QStringList &paths, double interval)
    {
        m_watcher = std::make_unique<MCPFileWatcher>(paths, interval, [this] { ++m_fired; });
    }

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<MCPFileWatcher> m_watcher;
    QString m_file;
    int m_fired = 0;
};

QTEST_GUILESS_MAIN(TestFileWatcher)
#include "tst_filewatcher.moc"
