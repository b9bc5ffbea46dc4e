#pragma once

#include "TrayPresence.h"
#include "probe/NotificationCenter.h"
#include "store/MCPConfigService.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QQmlEngine>
#include <QSystemTrayIcon>
#include <QtGui/qwindowdefs.h>

#include <functional>
#include <memory>
#include <optional>

class EventMonitor;
class FloatingPanel;
class MCPFileWatcher;
namespace PanelPlacement {
struct Placement;
}

// The tray application: owns the configuration service, the tray icon, the floating panel, the
// outside-press monitor and the file watcher for the life of the process, and decides when the
// panel opens, closes and changes size. Everything runs on the main thread.
class AppDelegate : public QObject
{
    Q_OBJECT
public:
    // Registers the panel's QML types with the engine and returns the URL of its root item.
    using PanelInstaller = std::function<QUrl(QQmlEngine &, MCPConfigService &)>;

    struct Options
    {
        PanelInstaller installPanel;
        // How long to wait at start-up for a tray to appear before showing a plain window.
        std::chrono::milliseconds trayWait{10000};
    };

    // Builds the configuration service for the current user and starts its first reload.
    explicit AppDelegate(Options options, QObject *parent = nullptr);
    ~AppDelegate() override;

    // Tray, panel, monitor, watcher, "quorlane.showPreferences" and the update check.
    void applicationDidFinishLaunching();
    void applicationWillTerminate();

    void togglePanel();
    void showPanel();
    void hidePanel();
    // Opens the panel when it is closed and switches it to the preferences page.
    void showPreferences();

    [[nodiscard]] MCPConfigService &configService() { return m_configService; }
    [[nodiscard]] FloatingPanel *floatingPanel() const { return m_floatingPanel.get(); }
    [[nodiscard]] QSystemTrayIcon *statusItem() const { return m_statusItem.get(); }

Q_SIGNALS:
    // The tray question is settled: the icon exists, or the panel became a plain window.
    void statusItemReady(bool hasTray);

private:
    void setupStatusItem(TrayPresence::Kind kind);
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

    Options m_options;
    MCPConfigService m_configService;
    QQmlEngine m_engine;
    std::unique_ptr<QSystemTrayIcon> m_statusItem;
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
    NotificationCenter::Token m_showPreferencesObserver = 0;
};
