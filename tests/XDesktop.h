#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QThread>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

// A private X desktop for the tray application's tests and benchmark: Xvfb on a display of its
// own, openbox, and trayer as a real XEmbed tray strip along the top edge. Everything it starts
// ends with it.
class XDesktop
{
public:
    static constexpr int screenWidth = 1280;
    static constexpr int screenHeight = 800;
    static constexpr int trayHeight = 24;

    XDesktop() = default;
    XDesktop(const XDesktop &) = delete;
    XDesktop &operator=(const XDesktop &) = delete;
    ~XDesktop()
    {
        for (QProcess *process : {&m_trayer, &m_openbox}) {
            process->terminate();
            if (!process->waitForFinished(3000))
                process->kill();
        }
        if (m_xvfb > 0) {
            kill(m_xvfb, SIGTERM);
            waitpid(m_xvfb, nullptr, 0);
        }
    }

    // Starts Xvfb on a free display and points DISPLAY at it; before any Qt application
    // connects, since Qt reads DISPLAY once.
    bool startServer()
    {
        int fds[2];
        if (pipe(fds) != 0)
            return false;
        m_xvfb = fork();
        if (m_xvfb == 0) {
            close(fds[0]);
            const QByteArray fd = QByteArray::number(fds[1]);
            const QByteArray size =
                QByteArray::number(screenWidth) + 'x' + QByteArray::number(screenHeight) + "x24";
            execlp("Xvfb", "Xvfb", "-displayfd", fd.constData(), "-screen", "0", size.constData(),
                   "-nolisten", "tcp", static_cast<char *>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        // Up to the newline: Xvfb may write the number in pieces and dies if the pipe closes early.
        QByteArray number;
        char c = 0;
        while (read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (number.isEmpty())
            return false;
        qputenv("DISPLAY", ":" + number);
        return true;
    }

    // openbox and trayer. True once the window manager has taken the tray's strip out of the
    // work area: a panel placed before that would be measured against the wrong area.
    bool startDesktop(int timeoutMs = 10000)
    {
        m_openbox.start(QStringLiteral("openbox"), {});
        m_trayer.start(QStringLiteral("trayer"),
                       {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                        QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("request"),
                        QStringLiteral("--height"), QString::number(trayHeight),
                        QStringLiteral("--SetDockType"), QStringLiteral("true"),
                        QStringLiteral("--SetPartialStrut"), QStringLiteral("true")});
        if (!m_openbox.waitForStarted() || !m_trayer.waitForStarted())
            return false;
        const QByteArray workArea = "= 0, " + QByteArray::number(trayHeight) + ", " +
                                    QByteArray::number(screenWidth) + ", " +
                                    QByteArray::number(screenHeight - trayHeight);
        const QDeadlineTimer deadline(timeoutMs);
        while (!output(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_WORKAREA")})
                    .contains(workArea)) {
            if (deadline.hasExpired())
                return false;
            QThread::msleep(50);
        }
        return true;
    }

    // What `program` prints; empty when it fails or takes more than five seconds.
    static QByteArray output(const QString &program, const QStringList &arguments)
    {
        QProcess process;
        process.start(program, arguments);
        process.waitForFinished(5000);
        return process.readAllStandardOutput();
    }

private:
    pid_t m_xvfb = 0;
    QProcess m_openbox;
    QProcess m_trayer;
};
