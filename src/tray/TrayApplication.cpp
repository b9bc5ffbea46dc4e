#include "tray/TrayApplication.h"

#include "panel/DemoHome.h"
#include "platform/Paths.h"
#include "services/ApplicationIdentity.h"
#include "services/TerminationSignals.h"
#include "switching/ApplicationServices.h"
#include "tray/AppDelegate.h"
#include "tray/FloatingPanel.h"
#include "tray/SingleInstance.h"
#include "tray/TrayIcon.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QTemporaryDir>
#include <QTextStream>

bool trayHasDisplay()
{
#ifdef Q_OS_MACOS
    return true;
#else
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
#endif
}

std::optional<TrayArguments> trayArguments(const QStringList &arguments)
{
    TrayArguments result;
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("--preferences"))
            result.preferences = true;
        else if (argument == QLatin1String("--demo"))
            result.demo = true;
        else
            return std::nullopt;
    }
    return result;
}

int runTrayApplication(int &argc, char **argv, TrayArguments arguments)
{
    // Under Wayland the compositor keeps windows from placing themselves; through XWayland the
    // panel can sit under its icon and watch presses elsewhere.
    if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY") && qEnvironmentVariableIsSet("DISPLAY") &&
        !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    // A small panel draws fastest and leanest in software; a GL context would triple the
    // resident memory for nothing.
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    QQuickWindow::setDefaultAlphaBuffer(true);

    QApplication app(argc, argv);
    nameApplication();
    QGuiApplication::setDesktopFileName(QStringLiteral("dev.quorlane.Quorlane"));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(TrayIcon::application());

    QTextStream err(stderr);
    // The demo lives in a folder of its own for this run: every path derives from the home the
    // environment names, so the user's real files are never read or written.
    std::optional<QTemporaryDir> demoRoot;
    if (arguments.demo) {
        demoRoot.emplace(QDir::tempPath() + QStringLiteral("/quorlane-demo-XXXXXX"));
        DemoHome::activate(demoRoot->path());
        if (!demoRoot->isValid() || !DemoHome::populate()) {
            err << "quorlane: cannot write the demo home in " << demoRoot->path() << '\n';
            return 1;
        }
    }
    if (!QDir().mkpath(Paths::applicationSupportDirectory())) {
        err << "quorlane: cannot create " << Paths::applicationSupportDirectory() << '\n';
        return 1;
    }

    SingleInstance instance(arguments.demo ? QStringLiteral("demo") : QString());
    const auto request =
        arguments.preferences ? SingleInstance::Request::preferences : SingleInstance::Request::show;
    switch (instance.claimOrHandOver(request)) {
    case SingleInstance::Outcome::claimed:
        break;
    case SingleInstance::Outcome::handedOver:
        return 0;
    case SingleInstance::Outcome::noAnswer:
        err << "quorlane: another Quorlane holds " << instance.lockPath() << " but does not answer\n";
        return 1;
    }

    // Ended by a signal, the tray quits like from its menu, after any switch in progress.
    TerminationSignals::install([](int signal) { QCoreApplication::exit(128 + signal); });

    // Made after the demo home is in place, so every service finds its files there; freed after
    // the delegate, which uses them.
    ApplicationServices services;
    AppDelegate delegate(services);
    QObject::connect(&instance, &SingleInstance::requested, &delegate,
                     [&services, &delegate](SingleInstance::Request r) {
                         if (r == SingleInstance::Request::preferences)
                             Q_EMIT services.showPreferences();
                         else if (!delegate.floatingPanel() || !delegate.floatingPanel()->isShown())
                             delegate.showPanel(AppDelegate::Opening::keyboard);
                     });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate, &AppDelegate::applicationWillTerminate);
    delegate.applicationDidFinishLaunching();
    if (arguments.preferences)
        Q_EMIT services.showPreferences();
    return app.exec();
}
