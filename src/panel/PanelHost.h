#pragma once

#include <QObject>
#include <QPointer>
#include <QUrl>

class ApplicationServices;
class MCPConfigService;
class PanelModel;
class QQmlEngine;

// The bridge between a window and the panel's QML (library `quorlane_panel`, QML module
// "Quorlane.Panel", linked on top of the layers below it).
//
// How a host shows the panel:
//
//     QQmlEngine engine;                       // one engine per window
//     PanelHost host(services, &configService); // the app's services and its MCPConfigService
//     host.install(&engine);                   // before the first component is created
//     QQmlComponent component(&engine, PanelHost::rootUrl());
//     auto *root = qobject_cast<QQuickItem *>(component.create());
//     root->setParentItem(window->contentItem());
//     root->setWidth(root->implicitWidth()); // the theme's panel width
//
// The root item `PopoverView` draws the panel; its `implicitHeight` is its natural height, which
// the window fits (listen to implicitHeightChanged). The window talks to the panel through
// `panel()`, the model the QML draws:
// - `page`: "main" or "preferences" (follows AppPreferences::panelState, which survives
//   restarts); `showPreferences(false)` switches to the preferences page without the animation.
// - signal `quitRequested()`: the user pressed Quit; the host ends the application at once.
// - signal `closeRequested()`: the user pressed Esc; the host decides what closing means.
// - `panelShown()`: call it each time the window opens. It starts a reload under the mutation
//   lock and then the token estimates, so the panel opens at once with the lists it has and
//   updates when the reload lands.
//
// The other services the panel drives (MCPToolProbe, TokenSavingsService, SessionManager,
// AppPreferences, UpdateChecker, ToggleEvents) are the application's, which outlive the host.
// The host outlives the engine's root items; it owns the view models that QML reaches as
// singletons of "Quorlane.Panel".
class PanelHost : public QObject
{
    Q_OBJECT

public:
    PanelHost(ApplicationServices &services, MCPConfigService *configService, QObject *parent = nullptr);
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
