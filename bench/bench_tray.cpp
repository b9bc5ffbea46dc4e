// The tray application over the demo home on Xvfb with openbox and trayer, beside a bare Qt
// tray icon (this program with --bare-tray: a QApplication and one QSystemTrayIcon, the floor
// any Qt tray application stands on). Prints start-up to tray icon, click to first frame of the panel,
// idle resident memory and idle CPU. Asserts nothing.
//
//   build/bin/bench_tray [--idle-seconds N] [--binary PATH]   (default 60, this build's quorlane)
//
// --binary measures another build's start-up, memory and CPU with the same method (the click
// is measured in process, on this build's code).

#include "BenchSupport.h"
#include "XDesktop.h"
#include "panel/DemoHome.h"
#include "switching/ApplicationServices.h"
#include "tray/AppDelegate.h"
#include "tray/FloatingPanel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QIcon>
#include <QProcess>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>
#include <vector>

#include <xcb/xcb.h>

namespace {

int bareTray(int argc, char **argv)
{
    QApplication app(argc, argv);
    QSystemTrayIcon icon(QIcon(QStringLiteral(":/quorlane/icons/MenuBarIcon.svg")));
    icon.show();
    return app.exec();
}

template<typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

// Icons in the tray: mapped 22 px windows below a child of the root, which is where trayer
// puts what it embeds (an icon not yet docked is a child of the root itself). Counted over one
// X connection: starting xwininfo every few milliseconds would take the CPU the start-up needs.
int trayIconCount(xcb_connection_t *c, xcb_window_t window, int depth = 0)
{
    const Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr),
                                             &std::free);
    if (!tree)
        return 0;
    const xcb_window_t *children = xcb_query_tree_children(tree.get());
    const int n = xcb_query_tree_children_length(tree.get());
    std::vector<xcb_get_geometry_cookie_t> geometries;
    std::vector<xcb_get_window_attributes_cookie_t> attributes;
    for (int i = 0; i < n; ++i) {
        geometries.push_back(xcb_get_geometry(c, children[i]));
        attributes.push_back(xcb_get_window_attributes(c, children[i]));
    }
    int count = 0;
    for (int i = 0; i < n; ++i) {
        const Reply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(c, geometries[i], nullptr),
                                                &std::free);
        const Reply<xcb_get_window_attributes_reply_t> a(
            xcb_get_window_attributes_reply(c, attributes[i], nullptr), &std::free);
        if (depth >= 1 && g && a && g->width == 22 && g->height == 22 &&
            a->map_state == XCB_MAP_STATE_VIEWABLE)
            ++count;
        count += trayIconCount(c, children[i], depth + 1);
    }
    return count;
}

int trayIconCount()
{
    static xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    return trayIconCount(c, xcb_setup_roots_iterator(xcb_get_setup(c)).data->root);
}

struct ProcessFigures
{
    double startupMs = 0;
    long idleRssKiB = 0;
    double idleCpuPercent = 0;
};

double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
}

// Start-up to the icon in the tray, then resident memory and CPU while nothing happens.
ProcessFigures measure(const QString &program, const QStringList &arguments, const QProcessEnvironment &env,
                       int idleSeconds)
{
    ProcessFigures figures;
    const int before = trayIconCount();
    QProcess process;
    process.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    while (trayIconCount() <= before && clock.elapsed() < 15000)
        QThread::msleep(2);
    figures.startupMs = double(clock.nsecsElapsed()) / 1e6;
    if (idleSeconds > 0) {
        QThread::sleep(2); // past the start-up work (first reload, update check)
        const double cpuBefore = cpuSeconds(process.processId());
        QThread::sleep(idleSeconds);
        figures.idleCpuPercent = 100.0 * (cpuSeconds(process.processId()) - cpuBefore) / idleSeconds;
        figures.idleRssKiB = BenchSupport::residentKiB(long(process.processId()));
    }
    process.terminate();
    process.waitForFinished(3000);
    return figures;
}

void processEventsFor(QApplication &app, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        app.processEvents(QEventLoop::AllEvents, 10);
}

struct ClickFigures
{
    double firstMs = 0;  // the first opening after start-up
    double medianMs = 0; // the openings after it
};

// Click (the tray's activation) to the first frame the panel's window presents, in process,
// once the start-up work is over as it is when a user first clicks.
ClickFigures clickToFirstFrame(QApplication &app)
{
    ApplicationServices services;
    AppDelegate delegate(services);
    bool ready = false;
    QObject::connect(&delegate, &AppDelegate::statusItemReady, [&] { ready = true; });
    delegate.applicationDidFinishLaunching();
    QElapsedTimer wait;
    wait.start();
    // The panel is built a moment after the icon appears; a click before that would build it.
    while ((!ready || !delegate.floatingPanel()) && wait.elapsed() < 15000)
        app.processEvents(QEventLoop::AllEvents, 10);
    processEventsFor(app, 1000);
    std::vector<double> samples;
    for (int i = 0; i < 8; ++i) {
        bool framed = false;
        QElapsedTimer clock;
        const auto connection = QObject::connect(delegate.floatingPanel(), &QQuickWindow::frameSwapped, [&] {
            if (!std::exchange(framed, true))
                samples.push_back(double(clock.nsecsElapsed()) / 1e6);
        });
        clock.start();
        delegate.togglePanel();
        while (!framed && clock.elapsed() < 5000)
            app.processEvents(QEventLoop::AllEvents, 1);
        QObject::disconnect(connection);
        delegate.hidePanel();
        processEventsFor(app, 400);
    }
    if (samples.empty())
        return {};
    const double first = samples.front();
    samples.erase(samples.begin());
    return {first, BenchSupport::median(samples)};
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--bare-tray") == 0)
        return bareTray(argc, argv);
    int idleSeconds = 60;
    QString binary = QStringLiteral(QUORLANE_BINARY);
    for (int i = 1; i + 1 < argc; i += 2) {
        if (qstrcmp(argv[i], "--idle-seconds") == 0)
            idleSeconds = atoi(argv[i + 1]);
        else if (qstrcmp(argv[i], "--binary") == 0)
            binary = QString::fromLocal8Bit(argv[i + 1]);
    }

    XDesktop desktop;
    if (!desktop.startServer()) {
        std::fprintf(stderr, "bench_tray: Xvfb did not start (scripts/setup.sh installs it)\n");
        return 1;
    }
    // The demo home: a panel with rows in every section, as a user with servers sees it.
    QTemporaryDir home;
    DemoHome::activate(home.path());
    if (!DemoHome::populate()) {
        std::fprintf(stderr, "bench_tray: cannot write the demo home\n");
        return 1;
    }
    qputenv("XDG_RUNTIME_DIR", home.path().toUtf8());
    qputenv("QUORLANE_FEED_URL", "http://127.0.0.1:9/changelog.json");
    qputenv("QT_QPA_PLATFORM", "xcb");
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    QQuickWindow::setDefaultAlphaBuffer(true);
    QApplication app(argc, argv);

    if (!desktop.startDesktop()) {
        std::fprintf(stderr, "bench_tray: openbox and trayer did not settle\n");
        return 1;
    }

    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    std::vector<double> ours;
    std::vector<double> bare;
    for (int i = 0; i < 5; ++i) {
        ours.push_back(measure(binary, {}, env, 0).startupMs);
        bare.push_back(
            measure(QCoreApplication::applicationFilePath(), {QStringLiteral("--bare-tray")}, env, 0)
                .startupMs);
    }
    std::printf("%-34s %12s %12s\n", "", "quorlane", "bare Qt tray");
    std::printf("%-34s %12.1f %12.1f\n", "start-up to tray icon, ms (median)", BenchSupport::median(ours),
                BenchSupport::median(bare));
    std::fflush(stdout);
    const ClickFigures clicks = clickToFirstFrame(app);
    std::printf("%-34s %12.1f %12s\n", "first click to first frame, ms", clicks.firstMs, "-");
    std::printf("%-34s %12.1f %12s\n", "later clicks to first frame, ms", clicks.medianMs, "-");
    std::fflush(stdout);
    const ProcessFigures idle = measure(binary, {}, env, idleSeconds);
    const ProcessFigures bareIdle =
        measure(QCoreApplication::applicationFilePath(), {QStringLiteral("--bare-tray")}, env, idleSeconds);
    std::printf("%-34s %12.1f %12.1f\n", "idle resident memory, MB", idle.idleRssKiB / 1024.0,
                bareIdle.idleRssKiB / 1024.0);
    std::printf("%-34s %12.2f %12.2f\n", qPrintable(QStringLiteral("idle CPU over %1 s, %").arg(idleSeconds)),
                idle.idleCpuPercent, bareIdle.idleCpuPercent);
    return 0;
}
