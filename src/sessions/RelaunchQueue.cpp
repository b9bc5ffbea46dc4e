#include "sessions/RelaunchQueue.h"

#include <QDeadlineTimer>
#include <QPointer>
#include <QTimer>

#include <QCoro/QCoroTimer>

#include <chrono>

void RelaunchWorkItem::cancel()
{
    State expected = State::waiting;
    if (m_state.compare_exchange_strong(expected, State::cancelled))
        settle();
}

void RelaunchWorkItem::perform()
{
    State expected = State::waiting;
    if (!m_state.compare_exchange_strong(expected, State::running))
        return; // cancelled, and settled by the cancellation
    m_work();
    m_state = State::done;
    settle();
}

void RelaunchWorkItem::settle()
{
    if (m_onSettled)
        m_onSettled();
}

RelaunchQueue::RelaunchQueue(QObject *parent) : QObject(parent), m_worker(new QObject)
{
    m_thread.setObjectName(QStringLiteral("dev.quorlane.relaunch"));
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread.start();
}

RelaunchQueue::~RelaunchQueue()
{
    m_thread.quit();
    m_thread.wait();
}

void RelaunchQueue::schedule(RelaunchWorkItemPtr item, double delaySeconds)
{
    ++m_pending;
    item->m_onSettled = [this] { --m_pending; };
    // The deadline is taken now: the queue thread may be busy with another item when the
    // request reaches it.
    const QDeadlineTimer deadline(qMax<qint64>(0, qint64(delaySeconds * 1000.0)), Qt::PreciseTimer);
    QMetaObject::invokeMethod(
        m_worker,
        [this, item = std::move(item), deadline] {
            QTimer::singleShot(std::chrono::milliseconds(qMax<qint64>(0, deadline.remainingTime())),
                               Qt::PreciseTimer, m_worker, [item] { item->perform(); });
        },
        Qt::QueuedConnection);
}

QCoro::Task<void> RelaunchQueue::waitUntilIdle()
{
    QPointer<RelaunchQueue> self(this);
    while (self && !self->isIdle())
        co_await QCoro::sleepFor(std::chrono::milliseconds(20));
}
