#pragma once

#include "services/ToggleAction.h"

#include <QList>
#include <QMetaObject>
#include <QMutex>

#include <functional>

class ToggleEvents;

// An observer of the toggle-event channel that keeps, in memory, every action it has seen
// since it started. Destroying it removes its registration, so the channel never calls a dead
// logger.
class ToggleLogger
{
public:
    ToggleLogger() = default;
    ~ToggleLogger();
    ToggleLogger(const ToggleLogger &) = delete;
    ToggleLogger &operator=(const ToggleLogger &) = delete;

    // Registers on `events` (once); `onToggle`, when given, also runs for each action, on the
    // posting thread.
    void start(ToggleEvents &events, std::function<void(const ToggleAction &)> onToggle = {});
    void stop();

    [[nodiscard]] bool isObserving() const { return bool(m_observer); }
    [[nodiscard]] QList<ToggleAction> actions() const;

private:
    QMetaObject::Connection m_observer;
    mutable QMutex m_mutex;
    QList<ToggleAction> m_actions;
};
