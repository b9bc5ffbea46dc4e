#pragma once

#include <QObject>
#include <QThread>

#include <QCoro/QCoroTask>

#include <atomic>
#include <functional>
#include <memory>

// A scheduled piece of relaunch work. Cancelling acts only before it starts: a cancelled item is
// skipped by the queue, a running one is never interrupted.
class RelaunchWorkItem
{
public:
    explicit RelaunchWorkItem(std::function<void()> work) : m_work(std::move(work)) {}

    // Main thread. Has no effect on an item that has started.
    void cancel();
    [[nodiscard]] bool isCancelled() const { return m_state == State::cancelled; }
    [[nodiscard]] bool hasStarted() const { return m_state == State::running || m_state == State::done; }

private:
    friend class RelaunchQueue;
    enum class State
    {
        waiting,
        running,
        done,
        cancelled
    };

    // Queue thread: runs the work unless it was cancelled first.
    void perform();
    void settle();

    std::function<void()> m_work;
    // Called once, when the item has run or was cancelled before it could.
    std::function<void()> m_onSettled;
    std::atomic<State> m_state{State::waiting};
};

using RelaunchWorkItemPtr = std::shared_ptr<RelaunchWorkItem>;

// The serial queue "dev.quorlane.relaunch": one thread that runs work items one at a time, each
// at the moment it was scheduled for, in deadline order. Items block it while they sleep and
// while a script runs. Destroying the queue waits for the item that is running and drops those
// still waiting.
class RelaunchQueue : public QObject
{
    Q_OBJECT

public:
    explicit RelaunchQueue(QObject *parent = nullptr);
    ~RelaunchQueue() override;

    // Runs `item` on the queue `delaySeconds` from now (unless cancelled by then).
    void schedule(RelaunchWorkItemPtr item, double delaySeconds);

    // No item is waiting or running.
    [[nodiscard]] bool isIdle() const { return m_pending == 0; }
    // Resolves once every item scheduled so far has run or been cancelled.
    QCoro::Task<void> waitUntilIdle();

private:
    QThread m_thread;
    QObject *m_worker = nullptr; // lives on m_thread
    std::atomic<int> m_pending{0};
};
