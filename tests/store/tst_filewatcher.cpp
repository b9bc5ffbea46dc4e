#include "TestHome.h"
#include "store/MCPFileWatcher.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <memory>

namespace {

void append(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::Append));
    QCOMPARE(file.write(bytes), bytes.size());
}

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
        m_file = m_home->write(QStringLiteral(".claude.json"), "{}");
    }
    void cleanup()
    {
        m_watcher.reset();
        m_home.reset();
    }

    // Every kind of change to the watched file is seen, once. After the file object is gone
    // (deleted, renamed, replaced), the new file at the path is not watched.
    void eachChangeFiresOnce_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("stillBound");
        QTest::newRow("rewritten in place") << QStringLiteral("write") << true;
        QTest::newRow("extended") << QStringLiteral("append") << true;
        QTest::newRow("renamed away") << QStringLiteral("rename") << false;
        QTest::newRow("deleted") << QStringLiteral("delete") << false;
        QTest::newRow("replaced atomically by another program") << QStringLiteral("replace") << false;
    }
    void eachChangeFiresOnce()
    {
        QFETCH(QString, change);
        QFETCH(bool, stillBound);
        watch({m_file}, 0.5);
        QCOMPARE(m_watcher->sourceCount(), 1);
        if (change == QLatin1String("write")) {
            m_home->write(m_file, R"({"a":1})");
        } else if (change == QLatin1String("append")) {
            append(m_file, "\n");
        } else if (change == QLatin1String("rename")) {
            QVERIFY(QFile::rename(m_file, m_file + QStringLiteral(".old")));
        } else if (change == QLatin1String("delete")) {
            QVERIFY(QFile::remove(m_file));
        } else {
            // What Claude Code does: a temporary file moved over the old one, by another process.
            QProcess mover;
            mover.start(QStringLiteral("/bin/sh"),
                        {QStringLiteral("-c"),
                         QStringLiteral("printf '{\"b\":2}' > \"$1.tmp\" && mv \"$1.tmp\" \"$1\""),
                         QStringLiteral("sh"), m_file});
            QVERIFY(mover.waitForFinished(30000));
            QCOMPARE(mover.exitCode(), 0);
        }
        QTRY_COMPARE_WITH_TIMEOUT(m_fired, 1, 10000);
        QTest::qWait(kSettle);
        QCOMPARE(m_fired, 1);

        // Another change at the path: seen only while the watch is bound to the same file.
        m_home->write(m_file, R"({"c":3})");
        if (stillBound) {
            QTRY_COMPARE_WITH_TIMEOUT(m_fired, 2, 10000);
        } else {
            QTest::qWait(kSettle);
            QCOMPARE(m_fired, 1);
        }
    }

    void burstGivesOneCallback()
    {
        // A whole second of quiet is asked for here, so that the 0.2 s pauses of the burst stay
        // well inside it on a busy machine.
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

    void missingFileIsWatchedThroughItsFolder()
    {
        const QString missing = m_home->path() + QStringLiteral("/Claude/claude_desktop_config.json");
        QDir().mkpath(m_home->path() + QStringLiteral("/Claude"));
        watch({missing}, 0.5);
        QCOMPARE(m_watcher->sourceCount(), 1);
        m_home->write(missing, "{}");
        QTRY_COMPARE_WITH_TIMEOUT(m_fired, 1, 10000);
        // Still the folder that is watched: another entry in it is a change too.
        m_home->write(QStringLiteral("Claude/other.json"), "{}");
        QTRY_COMPARE_WITH_TIMEOUT(m_fired, 2, 10000);
    }

    void pathWithoutFolderGivesNoSource()
    {
        watch({m_home->path() + QStringLiteral("/absent/dir/file.json"), m_file}, 0.5);
        QCOMPARE(m_watcher->sourceCount(), 1);
        m_home->write(m_file, "[]");
        QTRY_COMPARE_WITH_TIMEOUT(m_fired, 1, 10000);
    }

    void stopCancelsAPendingCallback()
    {
        watch({m_file}, 0.5);
        m_home->write(m_file, "[1]");
        QTRY_VERIFY_WITH_TIMEOUT(m_watcher->hasPendingFire(), 10000);
        m_watcher->stop();
        m_watcher->stop(); // harmless
        QCOMPARE(m_watcher->sourceCount(), 0);
        m_home->write(m_file, "[2]");
        QTest::qWait(kSettle);
        QCOMPARE(m_fired, 0);
    }

    void destroyedWatcherNeverCalls()
    {
        watch({m_file}, 0.5);
        m_home->write(m_file, "[1]");
        QTRY_VERIFY_WITH_TIMEOUT(m_watcher->hasPendingFire(), 10000);
        m_watcher.reset();
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
