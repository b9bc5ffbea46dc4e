#include "panel/OffscreenPanel.h"

#include "panel/PanelHost.h"

#include <QDeadlineTimer>
#include <QPainter>
#include <QPainterPath>
#include <QQmlComponent>
#include <QQuickItem>
#include <QThread>
#include <QtMath>

void OffscreenPanel::useSoftwareRenderer()
{
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
}

OffscreenPanel::OffscreenPanel(PanelHost &host)
{
    host.install(&m_engine);
    // The list makes the sections just outside its visible part between frames, as a window
    // on screen does; without a controller the engine makes them inside a frame.
    m_engine.setIncubationController(m_window.incubationController());
    m_window.setColor(Qt::transparent);
    QQmlComponent component(&m_engine, PanelHost::rootUrl());
    QObject *object = component.create();
    m_root = qobject_cast<QQuickItem *>(object);
    if (!m_root) {
        m_error = component.errorString();
        delete object;
        return;
    }
    m_root->setParent(&m_window);
    m_root->setParentItem(m_window.contentItem());
    // The width is the theme's; the window takes it from the root item.
    m_root->setWidth(m_root->implicitWidth());
    m_window.resize(qCeil(m_root->implicitWidth()), qMax(80, qCeil(m_root->implicitHeight())));
    m_window.show();
}

OffscreenPanel::~OffscreenPanel()
{
    delete m_root;
}

QImage OffscreenPanel::grab()
{
    if (!m_root)
        return {};
    const int height = qMax(80, qCeil(m_root->implicitHeight()));
    m_root->setHeight(height);
    if (m_window.height() != height)
        m_window.resize(m_window.width(), height);
    QImage frame = m_window.grabWindow();
    frame.setDevicePixelRatio(m_window.effectiveDevicePixelRatio());
    return shaped(frame, m_root->property("radius").toReal());
}

QImage OffscreenPanel::shaped(const QImage &frame, qreal radius)
{
    // The window's pixels have no alpha channel here; what lies outside the panel's rounded
    // shape is not part of the panel and becomes transparent.
    QImage picture = frame.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const qreal ratio = picture.devicePixelRatio();
    QImage shape(picture.size(), QImage::Format_ARGB32_Premultiplied);
    shape.setDevicePixelRatio(ratio);
    shape.fill(Qt::transparent);
    {
        QPainter painter(&shape);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath outline;
        outline.addRoundedRect(QRectF(0, 0, picture.width() / ratio, picture.height() / ratio), radius,
                               radius);
        painter.fillPath(outline, Qt::black);
    }
    QPainter painter(&picture);
    painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    painter.drawImage(QPointF(0, 0), shape);
    return picture;
}

bool OffscreenPanel::waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}
