#include "TestHome.h"

#include <QDir>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

// The tray application on a real X server (Xvfb) with a real window manager (openbox) and a
// real XEmbed tray (trayer), clicked with xdotool and measured with xwininfo: what a user on a
// plain X11 desktop sees.
namespace {

constexpr int screenWidth = 1280;
constexpr int trayHeight = 24;

pid_t g_xvfb = 0;

// Starts Xvfb on a free display before any Qt application connects, and points DISPLAY at it.
bool startXvfb()
{
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    g_xvfb = fork();
    if (g_xvfb == 0) {
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
    if (number.isEmpty())
        return false;
    qputenv("DISPLAY", ":" + number);
    return true;
}

struct XWindow
{
    QString id;
    QRect geometry; // absolute
};

} // namespace

class TestTrayEndToEnd : public QObject
{
    Q_OBJECT
    TestHome m_home;
    QProcess m_openbox;
    QProcess m_trayer;
    QProcess m_app;
    QRect m_icon;

    QProcessEnvironment appEnvironment() const
    {
        QProcessEnvironment env = m_home.environment();
        env.insert("XDG_RUNTIME_DIR", m_home.path() + "/run");
        env.insert("QT_QPA_PLATFORM", "xcb");
        // A feed that refuses at once: the update check must not reach the network.
        env.insert("QUORLANE_FEED_URL", "http://127.0.0.1:9/changelog.json");
        env.remove("DBUS_SESSION_BUS_ADDRESS"); // XEmbed only: no StatusNotifierItem host here
        env.remove("XDG_CURRENT_DESKTOP");
        return env;
    }

    static QByteArray output(const QString &program, const QStringList &arguments)
    {
        QProcess process;
        process.start(program, arguments);
        process.waitForFinished(5000);
        return process.readAllStandardOutput();
    }

    // Our top-level windows with their absolute frames, from the whole window tree.
    static QList<XWindow> quorlaneWindows()
    {
        static const QRegularExpression line(
            R"(^\s*(0x[0-9a-f]+) "Quorlane": \("quorlane" "Quorlane"\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+))",
            QRegularExpression::MultilineOption);
        QList<XWindow> windows;
        const QString tree = QString::fromUtf8(output("xwininfo", {"-root", "-tree"}));
        for (auto it = line.globalMatch(tree); it.hasNext();) {
            const auto m = it.next();
            windows.append({m.captured(1), QRect(m.captured(4).toInt(), m.captured(5).toInt(),
                                                 m.captured(2).toInt(), m.captured(3).toInt())});
        }
        return windows;
    }

    static bool isViewable(const QString &id)
    {
        return output("xwininfo", {"-id", id}).contains("Map State: IsViewable");
    }

    // The panel's frame while it is on screen; empty while it is not.
    static QRect shownPanel()
    {
        for (const XWindow &w : quorlaneWindows()) {
            if (w.geometry.width() == 320 && isViewable(w.id))
                return w.geometry;
        }
        return {};
    }

    static QRect trayIcon()
    {
        for (const XWindow &w : quorlaneWindows()) {
            if (w.geometry.width() <= trayHeight && w.geometry.width() > 1 && isViewable(w.id))
                return w.geometry;
        }
        return {};
    }

    static void click(QPoint at)
    {
        QProcess::execute("xdotool",
                          {"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"});
    }

    TestHome::Run runApp(const QStringList &arguments)
    {
        QProcess process;
        process.setProcessEnvironment(appEnvironment());
        process.start(QStringLiteral(QUORLANE_BINARY), arguments);
        TestHome::Run run;
        if (!process.waitForFinished(10000)) {
            process.kill();
            process.waitForFinished();
            return run;
        }
        run.exitCode = process.exitCode();
        run.err = process.readAllStandardError();
        return run;
    }

    void openPanel()
    {
        if (shownPanel().isEmpty())
            click(m_icon.center());
        QTRY_VERIFY_WITH_TIMEOUT(!shownPanel().isEmpty(), 3000);
    }

    void closePanel()
    {
        if (!shownPanel().isEmpty())
            click({200, 600});
        QTRY_VERIFY_WITH_TIMEOUT(shownPanel().isEmpty(), 3000);
        QTest::qWait(350); // past the guard against reopening
    }

private Q_SLOTS:
    void initTestCase()
    {
        for (const char *tool : {"openbox", "trayer", "xdotool", "xwininfo"})
            QVERIFY2(!QStandardPaths::findExecutable(tool).isEmpty(),
                     qPrintable(QStringLiteral("%1 is missing: run scripts/setup.sh").arg(tool)));
        m_openbox.start("openbox", {});
        QVERIFY(m_openbox.waitForStarted());
        m_trayer.start("trayer",
                       {"--edge", "top", "--align", "right", "--widthtype", "request", "--height",
                        QString::number(trayHeight), "--SetDockType", "true", "--SetPartialStrut", "true"});
        QVERIFY(m_trayer.waitForStarted());
        // The window manager takes the tray's strip out of the work area once trayer has settled;
        // a panel placed before that would be measured against the wrong area.
        QTRY_VERIFY_WITH_TIMEOUT(output("xprop", {"-root", "_NET_WORKAREA"}).contains("= 0, 24, 1280, 776"),
                                 10000);
        QVERIFY(QDir().mkpath(m_home.path() + "/run"));
        QFile::setPermissions(m_home.path() + "/run",
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        m_app.setProcessEnvironment(appEnvironment());
        m_app.setProcessChannelMode(QProcess::ForwardedChannels);
        m_app.start(QStringLiteral(QUORLANE_BINARY), {});
        QVERIFY(m_app.waitForStarted());
    }

    void cleanup()
    {
        if (!QTest::currentTestFailed())
            return;
        const QString file = QDir::current().absoluteFilePath(
            QStringLiteral("tray-e2e-%1.png").arg(QTest::currentTestFunction()));
        if (QGuiApplication::primaryScreen()->grabWindow(0).save(file))
            qInfo("screenshot: %s", qPrintable(file));
    }

    void cleanupTestCase()
    {
        for (QProcess *process : {&m_app, &m_trayer, &m_openbox}) {
            process->terminate();
            if (!process->waitForFinished(3000))
                process->kill();
        }
    }

    void iconAppearsInTheTray()
    {
        QTRY_VERIFY_WITH_TIMEOUT(!(m_icon = trayIcon()).isEmpty(), 15000);
        QVERIFY(m_icon.bottom() < trayHeight);
        QVERIFY(shownPanel().isEmpty());
    }

    void clickOpensThePanelUnderTheIcon()
    {
        click(m_icon.center());
        // Below the tray's strip with the gap, centred on the icon but 8 px inside the screen.
        const int x = std::min(m_icon.center().x() - 160, screenWidth - 8 - 320);
        QTRY_COMPARE_WITH_TIMEOUT(shownPanel().topLeft(), QPoint(x, trayHeight + 4), 3000);
        QTRY_VERIFY(shownPanel().height() >= 80);
        // A press inside keeps it open.
        click(shownPanel().topLeft() + QPoint(160, 10));
        QTest::qWait(400);
        QVERIFY(!shownPanel().isEmpty());
    }

    void clickElsewhereCloses()
    {
        openPanel();
        click({200, 600});
        QTRY_VERIFY_WITH_TIMEOUT(shownPanel().isEmpty(), 2000);
    }

    void iconClickWhileOpenClosesForGood()
    {
        QTest::qWait(350);
        openPanel();
        click(m_icon.center());
        QTRY_VERIFY_WITH_TIMEOUT(shownPanel().isEmpty(), 2000);
        QTest::qWait(600);
        QVERIFY(shownPanel().isEmpty());
    }

    void secondStartReachesTheFirst()
    {
        closePanel();
        TestHome::Run run = runApp({});
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QTRY_VERIFY_WITH_TIMEOUT(!shownPanel().isEmpty(), 3000);
        const int mainHeight = shownPanel().height();

        run = runApp({"--preferences"});
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QTRY_VERIFY_WITH_TIMEOUT(shownPanel().height() != mainHeight, 3000);
        QCOMPARE(m_app.state(), QProcess::Running);
    }
};

int main(int argc, char *argv[])
{
    if (!startXvfb()) {
        std::fprintf(stderr, "Xvfb is missing or did not start: run scripts/setup.sh\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    int result = 0;
    {
        QGuiApplication app(argc, argv);
        TestTrayEndToEnd test;
        result = QTest::qExec(&test, argc, argv);
    }
    kill(g_xvfb, SIGTERM);
    waitpid(g_xvfb, nullptr, 0);
    return result;
}

#include "tst_trayendtoend.moc"
