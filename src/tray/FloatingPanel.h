#pragma once

#include "tray/PanelPlacement.h"

#include <QMargins>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QQuickWindow>
#include <QVariantAnimation>

#include <functional>

class PanelShadow;
class QQmlEngine;
class QQuickItem;

// The window that holds the whole interface: frameless, transparent around the rounded panel
// its root item draws and the shadow under it, above other windows, on every desktop, out of the taskbar and
// pager, and not movable. It opens from the tray's edge, keeps that edge in place while its height changes,
// and takes the keyboard focus only when `keyStatusPolicy` says so. Not a Qt::Popup: a Qt Quick popup window
// neither closes on an outside click nor exists on Wayland.
class FloatingPanel : public QQuickWindow
{
    Q_OBJECT
public:
    static constexpr int appearMs = 220;
    static constexpr int disappearMs = 120;
    static constexpr int resizeMs = 180;

    // Hosts the item that `rootUrl` creates in `engine`; `root()` is null when that failed.
    FloatingPanel(QQmlEngine *engine, const QUrl &rootUrl);
    ~FloatingPanel() override;

    [[nodiscard]] QQuickItem *root() const { return m_root; }
    // The panel's width, which its theme sets on the root item.
    [[nodiscard]] int panelWidth() const;
    [[nodiscard]] bool isClosing() const { return m_isClosing; }
    // Visible and not fading out: a click on the tray during the fade-out opens it again.
    [[nodiscard]] bool isShown() const { return isVisible() && !m_isClosing; }
    // The frame the panel has or is animating to; the window around it is larger by the shadow.
    [[nodiscard]] QRect targetFrame() const { return m_placement.frame; }

    // The root item's implicit height, at least the minimum.
    [[nodiscard]] int fittingHeight() const;

    // Lays the hidden panel out at its fitting height and draws it once, off screen, so that
    // opening it later only maps a window whose scene is ready.
    void prepare();

    // Fades in at `placement`, growing from the tray's edge.
    void showAt(const PanelPlacement::Placement &placement);
    void hide(bool animate);
    // The height the panel should have now; animated when asked and the change is big enough.
    void resizeTo(int height, bool animate);

    // Without a tray: an ordinary decorated window, centred, that the user moves and closes.
    void showAsWindow();
    [[nodiscard]] bool isWindowMode() const { return m_windowMode; }

    void setKeyStatusPolicy(std::function<bool()> policy);
    // Applies the policy again (after the page changed).
    void updateKeyStatus();

Q_SIGNALS:
    // After the fade-out, when the panel has left the screen.
    void hidden();
    // The user closed the window (its close button in window mode). QQuickWindow::closing says
    // the same, but with an argument of a type private to Qt Quick.
    void closed();

protected:
    bool event(QEvent *event) override;

private:
    // The panel's own frame (without the shadow) on screen now.
    [[nodiscard]] QRect panelFrame() const { return geometry().marginsRemoved(m_margins); }
    void useShadowIfComposited();
    void applyFrame(const QRect &frame);
    void layoutRoot();
    void finishHide();

    QQuickItem *m_root = nullptr;
    QQuickItem *m_clip = nullptr; // the part of the panel the window shows while it unrolls
    PanelShadow *m_shadow = nullptr;
    QMargins m_margins; // room for the shadow; none where nothing composites
    PanelPlacement::Placement m_placement;
    bool m_isClosing = false;
    bool m_windowMode = false;
    std::function<bool()> m_keyStatusPolicy = [] { return true; };
    QVariantAnimation m_frameAnimation;
    QPropertyAnimation m_fade;
    QParallelAnimationGroup m_appear;
};
