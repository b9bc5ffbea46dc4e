#pragma once

#include <QImage>
#include <QQmlEngine>
#include <QQuickWindow>

#include <functional>
#include <memory>

class PanelHost;
class QQuickItem;

// The real panel in a window of its own that is never shown on a screen: for screenshots,
// golden images and benchmarks. Create the application with the software renderer chosen
// (useSoftwareRenderer) and, where no display exists, the "offscreen" platform.
class OffscreenPanel
{
public:
    // Before the QGuiApplication exists.
    static void useSoftwareRenderer();

    explicit OffscreenPanel(PanelHost &host);
    ~OffscreenPanel();

    [[nodiscard]] QQuickItem *root() const { return m_root; }
    [[nodiscard]] QQuickWindow &window() { return m_window; }
    [[nodiscard]] QQmlEngine &engine() { return m_engine; }
    // The load error of the root component; empty when it loaded.
    [[nodiscard]] const QString &error() const { return m_error; }

    // Fits the window to the panel's natural height and renders one frame, transparent outside
    // the panel's rounded corners.
    [[nodiscard]] QImage grab();

    // Turns the event loop until `done` holds or `timeoutMs` passed; returns whether it holds.
    static bool waitUntil(const std::function<bool()> &done, int timeoutMs);

private:
    [[nodiscard]] static QImage shaped(const QImage &frame, qreal radius);

    QQmlEngine m_engine;
    QQuickWindow m_window;
    QQuickItem *m_root = nullptr;
    QString m_error;
};
