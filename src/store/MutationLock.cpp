#include "store/MutationLock.h"

#include "platform/QuorlaneError.h"

#include <QPointer>

// The suspension point of a waiting acquirer: queues the coroutine unless it is cancelled
// already, in which case it continues at once without the lock.
class MutationLock::Turn
{
public:
    Turn(MutationLock *lock, QUuid id, const Cancellation *cancellation)
        : m_lock(lock), m_id(id), m_cancellation(cancellation)
    {}
    bool await_ready() const noexcept { return false; }
    bool await_suspend(std::coroutine_handle<> continuation)
    {
        if (m_cancellation && m_cancellation->isCancelled())
            return false;
        m_lock->m_waiters.push_back({m_id, continuation, &m_granted});
        return true;
    }
    bool await_resume() const noexcept { return m_granted; }

private:
    MutationLock *m_lock;
    QUuid m_id;
    const Cancellation *m_cancellation;
    bool m_granted = false;
};

QCoro::Task<void> MutationLock::acquire(CancellationPtr cancellation)
{
    if (!m_locked) {
        m_locked = true;
        if (cancellation && cancellation->isCancelled()) {
            release();
            throw CancellationError();
        }
        co_return;
    }

    const QUuid id = QUuid::createUuid();
    int subscription = -1;
    if (cancellation) {
        QPointer<MutationLock> self(this);
        subscription = cancellation->subscribe([self, id] {
            if (self)
                QMetaObject::invokeMethod(
                    self.data(), [self, id] { self->cancelWaiter(id); }, Qt::QueuedConnection);
        });
    }
    const bool granted = co_await Turn(this, id, cancellation.get());
    if (cancellation)
        cancellation->unsubscribe(subscription);
    if (!granted)
        throw CancellationError();
    // Cancelled just after the lock was handed over: pass it straight on.
    if (cancellation && cancellation->isCancelled()) {
        release();
        throw CancellationError();
    }
}

void MutationLock::release()
{
    if (m_waiters.empty()) {
        m_locked = false;
        return;
    }
    const MutationWaiter next = m_waiters.front();
    m_waiters.pop_front();
    resume(next, true); // m_locked stays true: ownership passes directly
}

void MutationLock::cancelWaiter(const QUuid &id)
{
    const auto it = std::find_if(m_waiters.begin(), m_waiters.end(),
                                 [&](const MutationWaiter &waiter) { return waiter.id == id; });
    if (it == m_waiters.end())
        return;
    const MutationWaiter waiter = *it;
    m_waiters.erase(it);
    resume(waiter, false);
}

// The waiter continues from the event loop, not inside release(): a chain of waiters that each
// release at once would otherwise grow the stack without bound.
void MutationLock::resume(const MutationWaiter &waiter, bool granted)
{
    *waiter.granted = granted;
    QMetaObject::invokeMethod(
        this, [continuation = waiter.continuation] { continuation.resume(); }, Qt::QueuedConnection);
}
