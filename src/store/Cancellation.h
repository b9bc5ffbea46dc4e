#pragma once

#include <functional>
#include <map>
#include <memory>

// A cancellation flag shared between whoever may cancel a task and the task itself. Handlers
// registered while the task waits run once, on the thread that calls `cancel()`.
class Cancellation
{
public:
    void cancel();
    [[nodiscard]] bool isCancelled() const { return m_cancelled; }

    int subscribe(std::function<void()> handler);
    void unsubscribe(int id);

private:
    bool m_cancelled = false;
    int m_nextId = 0;
    std::map<int, std::function<void()>> m_handlers;
};

using CancellationPtr = std::shared_ptr<Cancellation>;
