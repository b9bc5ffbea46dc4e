#include "tray/SingleInstance.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>

class TestSingleInstance : public QObject
{
    Q_OBJECT
    QTemporaryDir m_runtime;

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_runtime.isValid());
        qputenv("XDG_RUNTIME_DIR", m_runtime.path().toUtf8());
    }

    // What a crash leaves behind: the lock file and the socket file. A second start, and a
    // start in another runtime folder, are run end to end by tst_trayendtoend.
    void takesOverAfterACrash()
    {
        SingleInstance first;
        for (const QString &path : {first.lockPath(), first.socketPath()}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }

        QVERIFY(first.claim());
        // Held now: another claim must neither succeed nor take the live socket away.
        QVERIFY(!SingleInstance().claim());
        QSignalSpy requests(&first, &SingleInstance::requested);
        auto sent = QtConcurrent::run([] { return SingleInstance().send(SingleInstance::Request::show); });
        QTRY_COMPARE(requests.size(), 1);
        QTRY_VERIFY(sent.isFinished());
        QVERIFY(sent.result());
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
