#pragma once

#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

// A private X desktop for the tray's end-to-end test and benchmark: Xvfb on a display of its
// own, openbox, and trayer as an XEmbed tray strip along the top edge. All end with it.
class XDesktop
{
public:
    static constexpr int screenWidth = 1280;
    static constexpr int screenHeight = 800;
    static constexpr int trayHeight = 24;

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

    // Xvfb on a free display, with DISPLAY pointing at it: before any Qt application connects.
    bool startServer()
    {
        int fds[2];
        if (pipe(fds) != 0)
            return false;
        m_xvfb = fork();
        if (m_xvfb == 0) {
            close(fds[0]);
            const QByteArray fd = QByteArray::number(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.constData(), "-screen", "0", "1280x800x24", "-nolisten",
                   "tcp", static_cast<char *>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        // Up to the newline: Xvfb may write the number in pieces and dies if the pipe closes early.
        QByteArray number;
        char c = 0;
        while (read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        qputenv("DISPLAY", ":" + number);
        return !number.isEmpty();
    }

    // openbox and trayer; true once the window manager has taken the tray's strip out of the
    // work area, since a panel placed before that is measured against the wrong area.
    bool startDesktop()
    {
        m_openbox.start("openbox", {});
        m_trayer.start("trayer",
                       {"--edge", "top", "--align", "right", "--widthtype", "request", "--height",
                        QString::number(trayHeight), "--SetDockType", "true", "--SetPartialStrut", "true"});
        const QDeadlineTimer deadline(10000);
        while (!output("xprop", {"-root", "_NET_WORKAREA"}).contains("= 0, 24, 1280, 776")) {
            if (deadline.hasExpired())
                return false;
            QThread::msleep(50);
        }
        return true;
    }

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
