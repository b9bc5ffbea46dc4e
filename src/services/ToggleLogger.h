#pragma once

#include "services/NotificationCenter.h"
#include "services/ToggleAction.h"

#include <QList>
#include <QMutex>

#include <functional>
#include <optional>

// An observer of the toggle-event channel that keeps, in memory, every action it has seen
// since it started. Destroying it removes its registration, so the channel never calls a dead
// logger. Destroy it on a thread that is not posting at that moment.
class ToggleLogger
{
public:
    ToggleLogger() = default;
    ~ToggleLogger();
    ToggleLogger(const ToggleLogger &) = delete;
    ToggleLogger &operator=(const ToggleLogger &) = delete;

    // Registers on the channel (once); `onToggle`, when given, also runs for each action, on
    // the posting thread.
    void start(std::function<void(const ToggleAction &)> onToggle = {});
    void stop();

    [[nodiscard]] bool isObserving() const { return m_observer.has_value(); }
    [[nodiscard]] QList<ToggleAction> actions() const;

private:
    std::optional<NotificationCenter::Token> m_observer;
    mutable QMutex m_mutex;
    QList<ToggleAction> m_actions;
};
