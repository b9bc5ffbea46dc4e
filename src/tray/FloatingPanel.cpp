#include "tray/FloatingPanel.h"

#include "tray/PanelShadow.h"
#include "tray/PanelWindowing.h"

#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QScreen>

#include <cmath>

namespace {

constexpr Qt::WindowFlags panelFlags =
    Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::NoDropShadowWindowHint;

} // namespace

FloatingPanel::FloatingPanel(QQmlEngine *engine, const QUrl &rootUrl) : m_fade(this, "opacity")
{
    setFlags(panelFlags | Qt::WindowDoesNotAcceptFocus);
    setColor(Qt::transparent);
    setTitle(QStringLiteral("Quorlane"));
    // The list's rows just outside the view are then made between frames rather than in one.
    if (!engine->incubationController())
        engine->setIncubationController(incubationController());
    QQmlComponent component(engine, rootUrl);
    QObject *created = component.create();
    m_root = qobject_cast<QQuickItem *>(created);
    if (!m_root) {
        qWarning("%s", qPrintable(component.errorString()));
        delete created;
    } else {
        m_shadow = new PanelShadow(contentItem());
        m_clip = new QQuickItem(contentItem());
        m_clip->setClip(true);
        m_root->setParentItem(m_clip);
        // Keys reach the panel (Esc, Tab, the arrows) whenever its window has the focus.
        m_root->setFocus(true);
        QQmlEngine::setObjectOwnership(m_root, QQmlEngine::CppOwnership);
    }
    // A focused switch or button that goes away (a page changes, a row is rebuilt) leaves the
    // focus with the window's own item, where no key reaches the panel: give it back.
    connect(
        this, &QQuickWindow::activeFocusItemChanged, this,
        [this] {
            if (m_root && activeFocusItem() == contentItem())
                m_root->forceActiveFocus();
        },
        Qt::QueuedConnection);
    connect(this, &QWindow::heightChanged, this, &FloatingPanel::layoutRoot);
    connect(this, &QWindow::widthChanged, this, &FloatingPanel::layoutRoot);

    m_frameAnimation.setDuration(appearMs);
    connect(&m_frameAnimation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant &frame) { applyFrame(frame.toRect()); });
    m_fade.setDuration(appearMs);
    m_appear.addAnimation(&m_frameAnimation);
    m_appear.addAnimation(&m_fade);
    connect(&m_appear, &QAbstractAnimation::finished, this, [this] {
        if (m_isClosing)
            finishHide();
    });
}

FloatingPanel::~FloatingPanel()
{
    m_appear.stop();
    // Only the group's children are ours to keep: they are members, not heap objects.
    m_appear.removeAnimation(&m_frameAnimation);
    m_appear.removeAnimation(&m_fade);
    delete m_root;
}

int FloatingPanel::fittingHeight() const
{
    const int content = m_root ? int(std::ceil(m_root->implicitHeight())) : 0;
    return std::max(PanelPlacement::minimumHeight, content);
}

int FloatingPanel::panelWidth() const
{
    return m_root ? int(std::ceil(m_root->implicitWidth())) : 0;
}

void FloatingPanel::prepare()
{
    if (isVisible() || !m_root)
        return;
    useShadowIfComposited();
    m_placement.frame.setSize(QSize(panelWidth(), fittingHeight()));
    setGeometry(m_placement.frame.marginsAdded(m_margins));
    layoutRoot();
    // The software renderer draws a window that is not on screen when asked for an image: the
    // nodes, glyphs and images of the scene are made now rather than on the first click.
    if (QQuickWindow::sceneGraphBackend() == QLatin1String("software"))
        (void)grabWindow();
}

void FloatingPanel::showAt(const PanelPlacement::Placement &placement)
{
    m_appear.stop();
    m_windowMode = false;
    m_placement = placement;
    m_isClosing = false;
    if (!isVisible()) {
        useShadowIfComposited();
        setFlags(panelFlags | (m_keyStatusPolicy() ? Qt::WindowFlags() : Qt::WindowDoesNotAcceptFocus));
        PanelWindowing::keepOffTaskbar(this);
    }
    // Collapsed against the tray's edge, then grown to full size: one pixel, since X11 has no
    // empty windows.
    QRect collapsed = PanelPlacement::resized(placement, 1);
    if (isVisible())
        collapsed = panelFrame();
    setOpacity(isVisible() ? opacity() : 0.0);
    applyFrame(collapsed);
    if (!isVisible())
        show();
    m_frameAnimation.setStartValue(collapsed);
    m_frameAnimation.setEndValue(placement.frame);
    m_frameAnimation.setDuration(appearMs);
    m_frameAnimation.setEasingCurve(QEasingCurve::OutCubic);
    m_fade.setStartValue(opacity());
    m_fade.setEndValue(1.0);
    m_fade.setDuration(appearMs);
    m_fade.setEasingCurve(QEasingCurve::OutCubic);
    m_appear.start();
    if (m_keyStatusPolicy())
        requestActivate();
}

void FloatingPanel::hide(bool animate)
{
    if (m_isClosing || !isVisible())
        return;
    m_isClosing = true;
    m_appear.stop();
    if (!animate) {
        finishHide();
        return;
    }
    // Only the fade: the frame stays where it is.
    m_frameAnimation.setStartValue(panelFrame());
    m_frameAnimation.setEndValue(panelFrame());
    m_frameAnimation.setDuration(disappearMs);
    m_fade.setStartValue(opacity());
    m_fade.setEndValue(0.0);
    m_fade.setDuration(disappearMs);
    m_fade.setEasingCurve(QEasingCurve::InCubic);
    m_appear.start();
}

void FloatingPanel::finishHide()
{
    QQuickWindow::hide();
    setOpacity(1.0);
    m_isClosing = false;
    Q_EMIT hidden();
}

void FloatingPanel::resizeTo(int height, bool animate)
{
    if (m_windowMode) {
        resize(panelWidth(), height);
        return;
    }
    const QRect next = PanelPlacement::resized(m_placement, height);
    m_placement.frame = next;
    if (!isShown()) {
        layoutRoot();
        return;
    }
    if (!animate || m_appear.state() == QAbstractAnimation::Running) {
        // Mid-appear the running animation simply aims at the new frame.
        if (m_appear.state() == QAbstractAnimation::Running)
            m_frameAnimation.setEndValue(next);
        else
            applyFrame(next);
        return;
    }
    if (!PanelPlacement::isSignificantChange(panelFrame().height(), height))
        return;
    m_frameAnimation.setStartValue(panelFrame());
    m_frameAnimation.setEndValue(next);
    m_frameAnimation.setDuration(resizeMs);
    m_frameAnimation.setEasingCurve(QEasingCurve::InOutCubic);
    m_fade.setStartValue(opacity());
    m_fade.setEndValue(opacity());
    m_fade.setDuration(resizeMs);
    m_appear.start();
}

void FloatingPanel::showAsWindow()
{
    m_appear.stop();
    m_isClosing = false;
    if (!m_windowMode) {
        m_windowMode = true;
        QQuickWindow::hide();
        // A decorated window gets its shadow, if any, from the window manager.
        m_margins = {};
        if (m_shadow)
            m_shadow->setVisible(false);
        setFlags(Qt::Window);
        setOpacity(1.0);
        const int height = fittingHeight();
        const QRect area = QGuiApplication::primaryScreen()
                               ? QGuiApplication::primaryScreen()->availableGeometry()
                               : QRect(0, 0, panelWidth(), height);
        setGeometry(QRect(area.center() - QPoint(panelWidth() / 2, height / 2), QSize(panelWidth(), height)));
        m_placement = {geometry(), PanelPlacement::Edge::top, area};
    }
    show();
    raise();
    requestActivate();
}

bool FloatingPanel::event(QEvent *event)
{
    const bool handled = QQuickWindow::event(event);
    if (event->type() == QEvent::Close)
        Q_EMIT closed();
    return handled;
}

void FloatingPanel::setKeyStatusPolicy(std::function<bool()> policy)
{
    m_keyStatusPolicy = std::move(policy);
    updateKeyStatus();
}

void FloatingPanel::updateKeyStatus()
{
    if (m_windowMode)
        return;
    const bool mayTakeFocus = m_keyStatusPolicy();
    setFlag(Qt::WindowDoesNotAcceptFocus, !mayTakeFocus);
    PanelWindowing::keepLevelAfterFlagChange(this);
    if (mayTakeFocus && isShown())
        requestActivate();
}

// Decided at each opening: a compositing manager may have started or stopped meanwhile.
void FloatingPanel::useShadowIfComposited()
{
    const bool composited = m_shadow && PanelWindowing::hasCompositor();
    m_margins = composited ? PanelShadow::margins() : QMargins();
    if (m_shadow)
        m_shadow->setVisible(composited);
}

void FloatingPanel::applyFrame(const QRect &frame)
{
    setGeometry(frame.marginsAdded(m_margins));
    layoutRoot();
    if (!m_margins.isNull())
        PanelWindowing::setInputRegion(this, QRect(QPoint(m_margins.left(), m_margins.top()), frame.size()));
}

// The content keeps its full height while the window grows or shrinks around it, pinned to the
// tray's side, so the panel unrolls from the tray rather than stretching.
void FloatingPanel::layoutRoot()
{
    if (!m_root)
        return;
    const QRect shown(QPoint(m_margins.left(), m_margins.top()), size().shrunkBy(m_margins));
    m_clip->setPosition(shown.topLeft());
    m_clip->setSize(shown.size());
    if (m_shadow->isVisible())
        m_shadow->follow(shown);
    const int full = m_windowMode ? shown.height() : m_placement.frame.height();
    m_root->setWidth(shown.width());
    m_root->setHeight(full);
    const bool pinnedToBottom = !m_windowMode && m_placement.edge == PanelPlacement::Edge::bottom;
    m_root->setY(pinnedToBottom ? shown.height() - full : 0);
}
