#pragma once

#include <QObject>

#include <functional>
#include <memory>

// Watches left and right button presses outside the application without grabbing the pointer
// and hands each to `handler`, which decides by the pointer position whether it was outside
// the panel. Where the platform offers no such watch, `start` leaves `isWatching` false and
// the caller closes the panel on focus loss instead.
class EventMonitor : public QObject
{
    Q_OBJECT
public:
    explicit EventMonitor(std::function<void()> handler, QObject *parent = nullptr);
    ~EventMonitor() override;

    void start();
    void stop();
    [[nodiscard]] bool isWatching() const { return m_monitor != nullptr; }

private:
    std::function<void()> m_handler;
    std::unique_ptr<QObject> m_monitor;
};
