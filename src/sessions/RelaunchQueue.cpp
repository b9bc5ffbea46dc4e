#include "RelaunchQueue.h"

#include <QDeadlineTimer>
#include <QPointer>
#include <QTimer>

#include <QCoro/QCoroTimer>

#include <chrono>

void RelaunchWorkItem::perform()
{
    if (m_cancelled)
        return;
    m_started = true;
    m_work();
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

RelaunchQueue &RelaunchQueue::shared()
{
    // Never destroyed: work items may still be waiting when the process exits.
    static auto *queue = new RelaunchQueue;
    return *queue;
}

void RelaunchQueue::schedule(RelaunchWorkItemPtr item, double delaySeconds)
{
    ++m_pending;
    // The deadline is taken now: the queue thread may be busy with another item when the
    // request reaches it.
    const QDeadlineTimer deadline(qMax<qint64>(0, qint64(delaySeconds * 1000.0)), Qt::PreciseTimer);
    QMetaObject::invokeMethod(
        m_worker,
        [this, item = std::move(item), deadline] {
            QTimer::singleShot(std::chrono::milliseconds(qMax<qint64>(0, deadline.remainingTime())),
                               Qt::PreciseTimer, m_worker, [this, item] {
                                   item->perform();
                                   --m_pending;
                               });
        },
        Qt::QueuedConnection);
}

QCoro::Task<void> RelaunchQueue::waitUntilIdle()
{
    QPointer<RelaunchQueue> self(this);
    while (self && !self->isIdle())
        co_await QCoro::sleepFor(std::chrono::milliseconds(20));
}
