#include "OffscreenPanel.h"

#include "PanelHost.h"

#include <QDeadlineTimer>
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
    m_root->setWidth(320);
    m_window.resize(320, qMax(80, qCeil(m_root->implicitHeight())));
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
        m_window.resize(320, height);
    return m_window.grabWindow();
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
