#include "store/Cancellation.h"

void Cancellation::cancel()
{
    if (m_cancelled)
        return;
    m_cancelled = true;
    auto handlers = std::move(m_handlers);
    m_handlers.clear();
    for (auto &[id, handler] : handlers)
        handler();
}

int Cancellation::subscribe(std::function<void()> handler)
{
    const int id = m_nextId++;
    m_handlers.emplace(id, std::move(handler));
    return id;
}

void Cancellation::unsubscribe(int id)
{
    m_handlers.erase(id);
}
