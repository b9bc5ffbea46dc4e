#pragma once

#include <QObject>
#include <QPointer>
#include <QUrl>

class MCPConfigService;
class PanelModel;
class QQmlEngine;

// The bridge between a window and the panel's QML (library `quorlane_ui`, QML module
// "Quorlane.Panel", linked on top of quorlane_core).
//
// How a host shows the panel:
//
//     QQmlEngine engine;                       // one engine per window
//     PanelHost host(&configService);          // the app's one MCPConfigService
//     host.install(&engine);                   // before the first component is created
//     QQmlComponent component(&engine, PanelHost::rootUrl());
//     auto *root = qobject_cast<QQuickItem *>(component.create());
//     root->setParentItem(window->contentItem());
//     root->setWidth(root->implicitWidth()); // the theme's panel width
//
// The root item `PopoverView` offers:
// - `implicitHeight`: its natural height; the window fits it (listen to implicitHeightChanged).
// - `page`: "main" or "preferences" (read-only; follows AppPreferences::panelState, which
//   survives restarts), with `showPreferences()` and `showMain()` to switch pages with the
//   page animation. A "quorlane.showPreferences" notification switches without animation.
// - signal `quitRequested()`: the user pressed Quit; the host ends the application at once.
// - `panelShown()`: call it each time the window opens. It starts a reload under the mutation
//   lock and then the token estimates, so the panel opens at once with the lists it has and
//   updates when the reload lands.
//
// The other services the panel drives (MCPToolProbe, TokenSavingsService, SessionManager,
// AppPreferences, UpdateChecker) are the process-wide instances. The host outlives the engine's
// root items; it owns the view models that QML reaches as singletons of "Quorlane.Panel".
class PanelHost : public QObject
{
    Q_OBJECT

public:
    explicit PanelHost(MCPConfigService *configService, QObject *parent = nullptr);
    // Over services of the caller's choosing (tests).
    explicit PanelHost(PanelModel *panel, QObject *parent = nullptr);
    ~PanelHost() override;

    // Registers the module's types and makes this host's view models the singletons that QML
    // files created by `engine` see. One host per engine.
    void install(QQmlEngine *engine);

    // The root component, `PopoverView.qml`, inside the binary's resources.
    [[nodiscard]] static QUrl rootUrl();

    [[nodiscard]] PanelModel *panel() const { return m_panel; }

    // The model of the host installed into `engine`; null when none is.
    [[nodiscard]] static PanelModel *modelFor(QQmlEngine *engine);

private:
    PanelModel *m_panel = nullptr;
    QPointer<QQmlEngine> m_engine;
};
