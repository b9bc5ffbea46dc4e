#pragma once

#include "store/MCPConfigService.h"
#include "tray/TrayPresence.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QtGui/qwindowdefs.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class ApplicationServices;
class EventMonitor;
class FloatingPanel;
class QMenu;
class MCPFileWatcher;
class PanelModel;
class QQmlEngine;
namespace PanelPlacement {
struct Placement;
}

// The tray application: owns the configuration service, the tray icon, the floating panel, the
// outside-press monitor and the file watcher for the life of the process, and decides when the
// panel opens, closes and changes size. It talks to the panel through the panel's model. The
// application's other services are handed in and outlive it. Everything runs on the main thread.
class AppDelegate : public QObject
{
    Q_OBJECT
public:
    // How long to wait at start-up for a tray to appear before showing a plain window.
    static constexpr std::chrono::milliseconds trayWait{10000};

    // Builds the configuration service for the current user; its first reload starts once the
    // event loop runs.
    explicit AppDelegate(ApplicationServices &services, QObject *parent = nullptr);
    ~AppDelegate() override;

    // The tray icon first; then, from the event loop, the reload, the panel (drawn once while
    // hidden), the monitor, the watcher, "quorlane.showPreferences" and the update check.
    void applicationDidFinishLaunching();
    void applicationWillTerminate();

    // How the panel was asked for: from the keyboard (a second start, the tray's menu) it takes
    // the keyboard focus; a click on the icon leaves the focus where it is.
    enum class Opening
    {
        pointer,
        keyboard
    };

    void togglePanel();
    void showPanel(Opening opening = Opening::pointer);
    void hidePanel(bool animate = true);
    // Opens the panel when it is closed and switches it to the preferences page; the answer to
    // ApplicationServices::showPreferences.
    void showPreferences();

    [[nodiscard]] MCPConfigService &configService() { return m_configService; }
    [[nodiscard]] FloatingPanel *floatingPanel() const { return m_floatingPanel.get(); }
    [[nodiscard]] QSystemTrayIcon *statusItem() const { return m_statusItem.get(); }

Q_SIGNALS:
    // The tray question is settled: the icon exists, or the panel became a plain window.
    void statusItemReady(bool hasTray);

private:
    void closeFromKeyboard();
    void setupStatusItem(TrayPresence::Kind kind);
    void setupTrayMenu();
    void finishLaunching();
    void ensurePanel();
    void setupPanel();
    void setupFileWatcher();
    void onTrayActivated(QSystemTrayIcon::ActivationReason reason);
    void onOutsidePress();
    void closeAfterOutsideClick();
    void resizeToFit();
    void updatePanelSize();
    void reloadThen(std::function<void()> then);
    [[nodiscard]] std::optional<PanelPlacement::Placement> placement(int height) const;
    [[nodiscard]] bool hasTray() const { return m_statusItem != nullptr; }
    [[nodiscard]] bool watchesPresses() const;

    ApplicationServices &m_services;
    MCPConfigService m_configService;
    std::unique_ptr<QQmlEngine> m_engine; // made with the panel: not needed for the icon
    QPointer<PanelModel> m_panel;         // the panel's model, owned by the engine's host
    std::unique_ptr<QSystemTrayIcon> m_statusItem;
    std::unique_ptr<QMenu> m_trayMenu;
    std::unique_ptr<FloatingPanel> m_floatingPanel;
    std::unique_ptr<EventMonitor> m_eventMonitor;
    std::unique_ptr<MCPFileWatcher> m_fileWatcher;
    TrayPresence m_trayPresence;
    bool m_trayDecided = false;
    WId m_previousApp = 0;
    // Started when an outside press closes the panel: the same click, reaching the tray icon,
    // must not open it again.
    QElapsedTimer m_sinceOutsideClose;
    bool m_panelWasActive = false;
    bool m_openedFromKeyboard = false; // until the panel closes
    QMetaObject::Connection m_panelShownOnFrame;
    QTimer m_prepareLater;
};
