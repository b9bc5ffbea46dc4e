#include "tray/AppDelegate.h"

#include "panel/PanelHost.h"
#include "panel/PanelModel.h"
#include "platform/WhenDone.h"
#include "services/AppPreferences.h"
#include "services/UpdateChecker.h"
#include "store/MCPFileWatcher.h"
#include "switching/ApplicationServices.h"
#include "tray/EventMonitor.h"
#include "tray/FloatingPanel.h"
#include "tray/PanelPlacement.h"
#include "tray/PanelWindowing.h"
#include "tray/TrayIcon.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QQmlEngine>
#include <QQuickItem>
#include <QScreen>
#include <QTimer>

namespace {

// A tray activation this soon after an outside press closed the panel is that same click.
constexpr qint64 reopenGuardMs = 300;

} // namespace

AppDelegate::AppDelegate(ApplicationServices &services, QObject *parent)
    : QObject(parent), m_services(services)
{}

AppDelegate::~AppDelegate()
{
    applicationWillTerminate();
}

void AppDelegate::applicationDidFinishLaunching()
{
    PanelWindowing::becomeAccessory();
    connect(&m_trayPresence, &TrayPresence::decided, this, &AppDelegate::setupStatusItem);
    m_trayPresence.wait(trayWait);
    connect(&m_services, &ApplicationServices::showPreferences, this, &AppDelegate::showPreferences);
    // The first reload reads on a worker and may start at once; the rest waits a moment:
    // embedding and painting the icon take a few round trips through the event loop, which
    // building the panel would hold up, and nothing below is needed before the first click (a
    // request that comes sooner builds the panel itself).
    QTimer::singleShot(0, this, [this] { reloadThen({}); });
    QTimer::singleShot(150, this, &AppDelegate::finishLaunching);
}

void AppDelegate::finishLaunching()
{
    m_eventMonitor = std::make_unique<EventMonitor>([self = QPointer(this)] {
        if (self)
            self->onOutsidePress();
    });
    m_eventMonitor->start();
    ensurePanel();
    setupFileWatcher();
    whenDone(m_services.updateChecker().checkForUpdates(), this, [] {});
}

void AppDelegate::applicationWillTerminate()
{
    if (m_eventMonitor)
        m_eventMonitor->stop();
    if (m_fileWatcher)
        m_fileWatcher->stop();
}

void AppDelegate::setupStatusItem(TrayPresence::Kind kind)
{
    m_trayDecided = true;
    if (kind == TrayPresence::Kind::none) {
        ensurePanel();
        // No tray at all: the panel lives in an ordinary window, and starting the application
        // again (from the desktop's menu) shows it. Closing that window leaves nothing on screen
        // to come back to, so it ends the application; the next start or login brings it back.
        connect(m_floatingPanel.get(), &FloatingPanel::closed, qApp, &QCoreApplication::quit);
        m_floatingPanel->showAsWindow();
        m_panel->panelShown();
        Q_EMIT statusItemReady(false);
        return;
    }
    m_statusItem = std::make_unique<QSystemTrayIcon>(
        TrayIcon::forTray(kind, qEnvironmentVariable("XDG_CURRENT_DESKTOP")));
    m_statusItem->setToolTip(QStringLiteral("Quorlane"));
    connect(m_statusItem.get(), &QSystemTrayIcon::activated, this, &AppDelegate::onTrayActivated);
    setupTrayMenu();
    m_statusItem->show();
    Q_EMIT statusItemReady(true);
}

// The same menu reaches a StatusNotifierItem host over its menu interface.
void AppDelegate::setupTrayMenu()
{
    m_trayMenu = std::make_unique<QMenu>();
    m_trayMenu->addAction(QStringLiteral("Open Quorlane"), this, [this] { showPanel(Opening::keyboard); });
    m_trayMenu->addAction(QStringLiteral("Preferences…"), this, [this] {
        m_openedFromKeyboard = true;
        showPreferences();
    });
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(QStringLiteral("Quit Quorlane"), qApp, &QCoreApplication::quit);
    // The menu never lies over the panel: the panel goes at once, without its fade.
    connect(m_trayMenu.get(), &QMenu::aboutToShow, this, [this] {
        if (m_floatingPanel && m_floatingPanel->isVisible() && !m_floatingPanel->isWindowMode())
            hidePanel(false);
    });
    m_statusItem->setContextMenu(m_trayMenu.get());
}

void AppDelegate::ensurePanel()
{
    if (!m_floatingPanel)
        setupPanel();
}

void AppDelegate::setupPanel()
{
    m_engine = std::make_unique<QQmlEngine>();
    // The host belongs to the engine, which outlives the panel's root item.
    auto *host = new PanelHost(m_services, &m_configService, m_engine.get());
    host->install(m_engine.get());
    m_panel = host->panel();
    m_floatingPanel = std::make_unique<FloatingPanel>(m_engine.get(), PanelHost::rootUrl());
    // Without a global watch (pure Wayland) the panel always takes the focus and closes when
    // it loses it, which is then the only sign of a click elsewhere.
    m_floatingPanel->setKeyStatusPolicy([this] {
        return m_openedFromKeyboard || !watchesPresses() ||
               m_services.preferences().panelState() == PanelState::preferences;
    });
    connect(m_floatingPanel.get(), &FloatingPanel::hidden, this, [this] { m_openedFromKeyboard = false; });
    connect(m_panel, &PanelModel::quitRequested, qApp, &QCoreApplication::quit);
    // Esc: a window of its own stays (its close button ends the application).
    connect(m_panel, &PanelModel::closeRequested, this, &AppDelegate::closeFromKeyboard);
    // Content that grows or shrinks (an error strip, a collapsed project) refits the panel.
    if (QQuickItem *root = m_floatingPanel->root())
        connect(root, &QQuickItem::implicitHeightChanged, this, &AppDelegate::updatePanelSize,
                Qt::QueuedConnection);
    connect(m_floatingPanel.get(), &QWindow::activeChanged, this, [this] {
        if (m_floatingPanel->isActive()) {
            m_panelWasActive = true;
            return;
        }
        const bool lostFocus = std::exchange(m_panelWasActive, false);
        if (lostFocus && !watchesPresses() && m_floatingPanel->isShown() && !m_floatingPanel->isWindowMode())
            closeAfterOutsideClick();
    });
    QTimer::singleShot(100, this, &AppDelegate::resizeToFit);
    // Content that changed while the panel was hidden is drawn off screen once it settles, so
    // the click that opens the panel only has to map it. Nothing runs while nothing changes.
    m_prepareLater.setSingleShot(true);
    m_prepareLater.setInterval(200);
    connect(&m_prepareLater, &QTimer::timeout, m_floatingPanel.get(), &FloatingPanel::prepare);

    connect(&m_services.preferences(), &AppPreferences::panelStateChanged, this, [this] {
        const bool backToMain = m_services.preferences().panelState() == PanelState::main;
        // A panel opened from the keyboard keeps the focus: its user is still working in it.
        if (backToMain && m_floatingPanel->isActive() && m_previousApp && !m_openedFromKeyboard)
            PanelWindowing::activate(m_previousApp);
        m_floatingPanel->updateKeyStatus();
        QTimer::singleShot(50, this, &AppDelegate::updatePanelSize);
    });
}

void AppDelegate::setupFileWatcher()
{
    const ConfigPaths &paths = m_configService.paths();
    m_fileWatcher = std::make_unique<MCPFileWatcher>(
        QStringList{paths.claudeJsonPath, paths.desktopConfigPath, paths.managedConfigPath}, 0.5,
        [self = QPointer(this)] {
            if (!self)
                return;
            self->reloadThen([self] {
                if (!self)
                    return;
                self->resizeToFit();
                // A file replaced whole (every atomic save, ours included) is reported once and
                // then no longer watched: watch the files that are there now.
                self->setupFileWatcher();
            });
        });
}

void AppDelegate::onTrayActivated(QSystemTrayIcon::ActivationReason reason)
{
    // The menu's request: some StatusNotifierItem hosts show it without asking it to prepare.
    if (reason == QSystemTrayIcon::Context && m_floatingPanel && m_floatingPanel->isShown() &&
        !m_floatingPanel->isWindowMode()) {
        hidePanel(false);
        return;
    }
    // A second click soon after the first arrives as a double click alone: it is still a click.
    if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::DoubleClick)
        return;
    if (m_sinceOutsideClose.isValid() && m_sinceOutsideClose.elapsed() < reopenGuardMs)
        return;
    togglePanel();
}

void AppDelegate::togglePanel()
{
    if (m_floatingPanel && m_floatingPanel->isShown())
        hidePanel();
    else
        showPanel();
}

void AppDelegate::closeFromKeyboard()
{
    if (m_floatingPanel && !m_floatingPanel->isWindowMode())
        hidePanel();
}

void AppDelegate::showPanel(Opening opening)
{
    ensurePanel();
    if (opening == Opening::keyboard && !m_openedFromKeyboard) {
        m_openedFromKeyboard = true;
        if (m_floatingPanel->isShown())
            m_floatingPanel->updateKeyStatus();
    }
    if (m_floatingPanel->isWindowMode() || (m_trayDecided && !hasTray())) {
        m_floatingPanel->showAsWindow();
        m_panel->panelShown();
        return;
    }
    m_previousApp = PanelWindowing::activeWindow();
    const std::optional<PanelPlacement::Placement> where = placement(m_floatingPanel->fittingHeight());
    if (!where)
        return;
    m_floatingPanel->showAt(*where);
    // The view reloads under the mutation lock and then asks for token estimates: the panel
    // opens at once with the lists it has, and refits when the reload changes its height. Once
    // the first frame is out, so none of that work delays it.
    disconnect(m_panelShownOnFrame); // a show that never reached the screen
    m_panelShownOnFrame = connect(
        m_floatingPanel.get(), &QQuickWindow::frameSwapped, this, [this] { m_panel->panelShown(); },
        Qt::SingleShotConnection);
}

void AppDelegate::hidePanel(bool animate)
{
    if (!m_floatingPanel)
        return;
    if (m_floatingPanel->isWindowMode()) {
        m_floatingPanel->QQuickWindow::hide();
        return;
    }
    // The focus goes back only when the panel took it: after a click into another window
    // that window has it now, and taking it away would be wrong.
    const bool hadFocus = m_floatingPanel->isActive();
    m_floatingPanel->hide(animate);
    if (hadFocus && m_previousApp)
        PanelWindowing::activate(m_previousApp);
    m_previousApp = 0;
}

void AppDelegate::showPreferences()
{
    ensurePanel();
    if (!m_floatingPanel->isShown())
        showPanel();
    // Asked for from outside the panel: the page switches without its animation.
    m_panel->showPreferences(false);
}

void AppDelegate::onOutsidePress()
{
    if (!m_floatingPanel || !m_floatingPanel->isShown() || m_floatingPanel->isWindowMode())
        return;
    const QPoint pointer = QCursor::pos();
    if (m_floatingPanel->targetFrame().contains(pointer))
        return;
    // A press on our own icon is the icon's to handle: it toggles the panel itself.
    if (m_statusItem && m_statusItem->geometry().contains(pointer))
        return;
    closeAfterOutsideClick();
}

void AppDelegate::closeAfterOutsideClick()
{
    m_sinceOutsideClose.start();
    hidePanel();
}

bool AppDelegate::watchesPresses() const
{
    return m_eventMonitor && m_eventMonitor->isWatching();
}

void AppDelegate::resizeToFit()
{
    if (!m_floatingPanel)
        return;
    m_floatingPanel->resizeTo(m_floatingPanel->fittingHeight(), false);
    if (!m_floatingPanel->isVisible())
        m_prepareLater.start();
}

void AppDelegate::updatePanelSize()
{
    if (!m_floatingPanel)
        return;
    if (!m_floatingPanel->isShown()) {
        resizeToFit();
        return;
    }
    m_floatingPanel->resizeTo(m_floatingPanel->fittingHeight(), true);
}

void AppDelegate::reloadThen(std::function<void()> then)
{
    whenDone(m_configService.reload(), this, [then = std::move(then)] {
        if (then)
            then();
    });
}

std::optional<PanelPlacement::Placement> AppDelegate::placement(int height) const
{
    PanelPlacement::Input input;
    if (m_statusItem) {
        const QRect icon = m_statusItem->geometry();
        if (!icon.isEmpty())
            input.icon = icon;
    }
    input.cursor = QCursor::pos();
    const QList<QScreen *> screens = QGuiApplication::screens();
    QScreen *primary = QGuiApplication::primaryScreen();
    if (primary)
        input.screens.append({primary->geometry(), primary->availableGeometry()});
    for (QScreen *screen : screens) {
        if (screen != primary)
            input.screens.append({screen->geometry(), screen->availableGeometry()});
    }
    input.size = QSize(m_floatingPanel ? m_floatingPanel->panelWidth() : 0, height);
    input.corner = PanelPlacement::trayCornerOf(qEnvironmentVariable("XDG_CURRENT_DESKTOP"));
    return PanelPlacement::place(input);
}
