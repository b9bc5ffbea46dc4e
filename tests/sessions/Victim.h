#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

// A child process that stands in for a session or its shell. It notes a SIGTERM in a marker
// file before it exits; a SIGKILL leaves no note. Tests only ever signal these.
class Victim
{
public:
    Victim(const QString &directory, const QString &name)
        : m_marker(directory + QLatin1Char('/') + name + QStringLiteral(".term")),
          m_ready(directory + QLatin1Char('/') + name + QStringLiteral(".ready"))
    {
        m_process.start(QStringLiteral("/bin/bash"),
                        {QStringLiteral("-c"),
                         QStringLiteral("trap 'echo TERM > \"$0\"; exit 0' TERM; : > \"$1\"; "
                                        "while :; do sleep 0.1; done"),
                         m_marker, m_ready});
    }
    ~Victim()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    // Started, with its trap in place.
    [[nodiscard]] bool waitUntilReady()
    {
        if (!m_process.waitForStarted())
            return false;
        m_pid = m_process.processId();
        QDeadlineTimer deadline(10000);
        while (!QFile::exists(m_ready) && !deadline.hasExpired())
            QThread::msleep(10);
        return QFile::exists(m_ready);
    }
    // Kept: QProcess forgets the id once it has seen the process end.
    [[nodiscard]] qint64 pid() const { return m_pid; }
    // Whether it ends within `ms`: used to show that nothing signalled it.
    [[nodiscard]] bool endsWithin(int ms)
    {
        return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(ms);
    }
    // Waits for the end: "TERM" when it was asked to terminate, "KILL" when it was killed.
    [[nodiscard]] QString waitForEnd()
    {
        // The event loop may have seen the end already, and then there is nothing to wait for.
        if (m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(20000))
            return QStringLiteral("still running");
        if (QFile::exists(m_marker) && m_process.exitStatus() == QProcess::NormalExit)
            return QStringLiteral("TERM");
        if (m_process.exitStatus() == QProcess::CrashExit)
            return QStringLiteral("KILL");
        return QStringLiteral("exited");
    }

private:
    QString m_marker;
    QString m_ready;
    QProcess m_process;
    qint64 m_pid = 0;
};
