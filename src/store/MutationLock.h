#pragma once

#include "store/Cancellation.h"

#include <QObject>
#include <QUuid>

#include <QCoro/QCoroTask>

#include <coroutine>
#include <deque>

// A first-in-first-out lock for coroutines on the main thread. It never blocks a thread: a task
// that finds it held is suspended and queued. Releasing hands the lock straight to the first
// waiter, so no newcomer can slip in between and waiters are served in arrival order. A waiter
// that is cancelled leaves the queue without disturbing the owner or the others.
class MutationLock : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // On normal return the caller holds the lock and must call release() exactly once. Throws
    // CancellationError, without the lock, when `cancellation` fires first.
    QCoro::Task<void> acquire(CancellationPtr cancellation = {});
    void release();
    // Removes a waiter from the queue and resumes it as cancelled; nothing if it was already
    // resumed.
    void cancelWaiter(const QUuid &id);

    [[nodiscard]] bool isLocked() const { return m_locked; }
    [[nodiscard]] qsizetype waiterCount() const { return qsizetype(m_waiters.size()); }

private:
    struct MutationWaiter
    {
        QUuid id;
        std::coroutine_handle<> continuation;
        bool *granted;
    };
    class Turn;

    void resume(const MutationWaiter &waiter, bool granted);

    bool m_locked = false;
    std::deque<MutationWaiter> m_waiters;
};
