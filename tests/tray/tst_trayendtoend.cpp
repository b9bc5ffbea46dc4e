#include "TestHome.h"
#include "XDesktop.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>

#include <cstdio>

// The tray application on a real X server (Xvfb) with a real window manager (openbox) and a
// real XEmbed tray (trayer), clicked with xdotool and measured with xwininfo: what a user on a
// plain X11 desktop sees.
namespace {

constexpr int screenWidth = XDesktop::screenWidth;
constexpr int trayHeight = XDesktop::trayHeight;

// Started in main(), before the application object connects to its display.
XDesktop *g_desktop = nullptr;

// Stands in for a desktop's StatusNotifierItem watcher with a host (KDE's panel, GNOME's
// AppIndicator extension): it only records which item registered, so the test can activate it.
class FakeWatcher : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
public:
    QString item;
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const { return item.isEmpty() ? QStringList() : QStringList{item}; }
public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString &service, const QDBusMessage &message)
    {
        item = service.startsWith(QLatin1Char('/')) ? message.service() : service;
    }
    void RegisterStatusNotifierHost(const QString &) {}
Q_SIGNALS:
    void StatusNotifierItemRegistered(const QString &service);
};

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
    QProcess m_app;
    QRect m_icon;

    // Our top-level windows with their absolute frames, from the whole window tree.
    static QList<XWindow> quorlaneWindows()
    {
        static const QRegularExpression line(
            R"(^\s*(0x[0-9a-f]+) "Quorlane": \("quorlane" "Quorlane"\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+))",
            QRegularExpression::MultilineOption);
        QList<XWindow> windows;
        const QString tree = QString::fromUtf8(XDesktop::output("xwininfo", {"-root", "-tree"}));
        for (auto it = line.globalMatch(tree); it.hasNext();) {
            const auto m = it.next();
            windows.append({m.captured(1), QRect(m.captured(4).toInt(), m.captured(5).toInt(),
                                                 m.captured(2).toInt(), m.captured(3).toInt())});
        }
        return windows;
    }

    static bool isViewable(const QString &id)
    {
        return XDesktop::output("xwininfo", {"-id", id}).contains("Map State: IsViewable");
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
        return m_home.run(QStringLiteral(QUORLANE_BINARY), arguments, {}, 10000);
    }

    // The knob of a switch that is on: the one saturated green in the panel's right-hand column.
    static QPoint switchOn(const QRect &panel)
    {
        const QImage shot = QGuiApplication::primaryScreen()
                                ->grabWindow(0, panel.x(), panel.y(), panel.width(), panel.height())
                                .toImage();
        for (int y = 0; y < shot.height(); ++y) {
            for (int x = shot.width() - 60; x < shot.width(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                if (c.green() > 160 && c.red() < 140 && c.blue() < 160)
                    return panel.topLeft() + QPoint(x, y + 2);
            }
        }
        return {};
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
        QVERIFY2(g_desktop->startDesktop(), "openbox and trayer did not settle");
        // What the application and the programs this test starts see (m_home.environment()): a
        // feed that refuses at once, so the update check never reaches the network, and XEmbed
        // only, with no StatusNotifierItem host.
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_home.path() + "/run"));
        qputenv("QUORLANE_FEED_URL", "http://127.0.0.1:9/changelog.json");
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        qunsetenv("XDG_CURRENT_DESKTOP");
        m_home.write(".claude.json",
                     R"({"mcpServers":{"alpha":{"type":"stdio","command":"/bin/false","args":[]}}})");
        QVERIFY(QDir().mkpath(m_home.path() + "/run"));
        QFile::setPermissions(m_home.path() + "/run",
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        m_app.setProcessEnvironment(m_home.environment());
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
        m_app.terminate();
        if (!m_app.waitForFinished(3000))
            m_app.kill();
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
        // Out of the taskbar and the pager, on every desktop.
        for (const XWindow &w : quorlaneWindows()) {
            if (w.geometry.width() == 320) {
                const QByteArray props =
                    XDesktop::output("xprop", {"-id", w.id, "_NET_WM_STATE", "_NET_WM_DESKTOP"});
                QVERIFY2(props.contains("_NET_WM_STATE_SKIP_TASKBAR") &&
                             props.contains("_NET_WM_STATE_SKIP_PAGER") &&
                             props.contains("_NET_WM_DESKTOP(CARDINAL) = 4294967295"),
                         props.constData());
            }
        }
        // A press inside keeps it open.
        click(shownPanel().topLeft() + QPoint(160, 10));
        QTest::qWait(400);
        QVERIFY(!shownPanel().isEmpty());
    }

    // A press elsewhere closing the panel is what closePanel() checks each time it runs.
    void iconClickWhileOpenClosesForGood()
    {
        openPanel();
        click(m_icon.center());
        QTRY_VERIFY_WITH_TIMEOUT(shownPanel().isEmpty(), 2000);
        QTest::qWait(600);
        QVERIFY(shownPanel().isEmpty());
    }

    void switchAndOutsideEdit()
    {
        openPanel();
        QPoint knob;
        QTRY_VERIFY_WITH_TIMEOUT(!(knob = switchOn(shownPanel())).isNull(), 5000);
        click(knob);
        QTRY_VERIFY_WITH_TIMEOUT(!TestHome::read(m_home.claudeJson()).contains("alpha"), 5000);
        QVERIFY(TestHome::read(m_home.stash()).contains("alpha"));
        QTRY_VERIFY(switchOn(shownPanel()).isNull());

        // Claude Code itself adds a server while the panel is open: its row appears, switched on.
        QProcess claude;
        claude.setProcessEnvironment(m_home.environment());
        claude.start("claude", {"mcp", "add", "--scope", "user", "beta", "--", "/bin/false"});
        QVERIFY(claude.waitForFinished(60000));
        QCOMPARE(claude.exitCode(), 0);
        QElapsedTimer sinceEdit;
        sinceEdit.start();
        QTRY_VERIFY_WITH_TIMEOUT(!switchOn(shownPanel()).isNull(), 3000);
        qInfo("outside edit to row on screen: %lld ms", sinceEdit.elapsed());
        closePanel();
    }

    // A StatusNotifierItem tray reports no icon rectangle: the panel opens by the cursor, and
    // an activation right after an outside press closed it does not reopen it.
    void statusNotifierActivation()
    {
        QProcess bus;
        bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        QVERIFY2(bus.waitForReadyRead(10000), "dbus-daemon did not start");
        const QString address = QString::fromUtf8(bus.readLine()).trimmed();
        QDBusConnection connection = QDBusConnection::connectToBus(address, "watcher");
        FakeWatcher watcher;
        QVERIFY(connection.registerService("org.kde.StatusNotifierWatcher"));
        QVERIFY(connection.registerObject("/StatusNotifierWatcher", &watcher,
                                          QDBusConnection::ExportAllSlots |
                                              QDBusConnection::ExportAllProperties |
                                              QDBusConnection::ExportAllSignals));
        QProcessEnvironment env = m_home.environment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", address);
        QVERIFY(QDir().mkpath(m_home.path() + "/sni"));
        env.insert("XDG_RUNTIME_DIR", m_home.path() + "/sni");
        QProcess app;
        app.setProcessEnvironment(env);
        app.setProcessChannelMode(QProcess::ForwardedChannels);
        app.start(QStringLiteral(QUORLANE_BINARY), {});
        QTRY_VERIFY_WITH_TIMEOUT(!watcher.item.isEmpty(), 15000);
        const auto activate = [&] {
            QDBusMessage call = QDBusMessage::createMethodCall(watcher.item, "/StatusNotifierItem",
                                                               "org.kde.StatusNotifierItem", "Activate");
            call << 0 << 0;
            return connection.call(call).type() == QDBusMessage::ReplyMessage;
        };
        // The cursor on the bottom edge, where a panel without a reserved strip would be.
        QProcess::execute("xdotool", {"mousemove", "640", "790"});
        QVERIFY(activate());
        QTRY_COMPARE_WITH_TIMEOUT(shownPanel().bottomLeft(), QPoint(480, 790 - 4 - 1), 3000);

        // The tray's menu reaches the host over the item's menu interface.
        QProcess menu;
        menu.start("dbus-send", {"--bus=" + address, "--print-reply", "--dest=" + watcher.item, "/MenuBar",
                                 "com.canonical.dbusmenu.GetLayout", "int32:0", "int32:-1", "array:string:"});
        QVERIFY(menu.waitForFinished(5000));
        const QByteArray layout = menu.readAllStandardOutput();
        for (const char *label : {"Open Quorlane", "Preferences…", "Quit Quorlane"})
            QVERIFY2(layout.contains(label), layout.constData());

        // The press closes the panel; the tray's activation for the same click follows a moment
        // later and must not open it again.
        click({200, 300});
        QTest::qWait(100);
        QVERIFY(activate());
        QTest::qWait(500);
        QVERIFY(shownPanel().isEmpty());

        app.terminate();
        app.waitForFinished(5000);
        connection.unregisterService("org.kde.StatusNotifierWatcher");
        QDBusConnection::disconnectFromBus("watcher");
        bus.terminate();
        bus.waitForFinished(3000);
    }

    void secondStartReachesTheFirst()
    {
        closePanel();
        TestHome::Run run = runApp({});
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QTRY_VERIFY_WITH_TIMEOUT(!shownPanel().isEmpty(), 3000);

        // The page the panel shows is the stored panel state.
        run = runApp({"--preferences"});
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QTRY_VERIFY_WITH_TIMEOUT(runApp({"prefs", "--json"}).out.contains(R"("panelState":"preferences")"),
                                 3000);
        QVERIFY(!shownPanel().isEmpty());
        QCOMPARE(m_app.state(), QProcess::Running);
    }

    // Opened by a second start (a launcher, a shortcut) the panel has the keyboard: Esc closes it.
    // (Tab and Space on the switches are walked offscreen by tst_panelaccessibility.)
    void escapeClosesThePanel()
    {
        QVERIFY(!shownPanel().isEmpty());
        QProcess::execute("xdotool", {"key", "Escape"});
        QTRY_VERIFY_WITH_TIMEOUT(shownPanel().isEmpty(), 3000);
    }

    // Last: it ends the application.
    void menuQuitEndsTheProcess()
    {
        openPanel();
        QProcess::execute("xdotool", {"mousemove", QString::number(m_icon.center().x()),
                                      QString::number(m_icon.center().y()), "click", "3"});
        // The menu closes the panel before it opens.
        QTRY_VERIFY_WITH_TIMEOUT(shownPanel().isEmpty(), 2000);
        QTest::qWait(300);
        QProcess::execute("xdotool", {"key", "Up", "Return"}); // the last entry: "Quit Quorlane"
        QVERIFY(m_app.waitForFinished(5000));
        QCOMPARE(m_app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_app.exitCode(), 0);
    }
};

int main(int argc, char *argv[])
{
    XDesktop desktop;
    if (!desktop.startServer()) {
        std::fprintf(stderr, "Xvfb is missing or did not start: run scripts/setup.sh\n");
        return 1;
    }
    g_desktop = &desktop;
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    TestTrayEndToEnd test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_trayendtoend.moc"
