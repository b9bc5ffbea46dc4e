#include "services/ToggleLogger.h"

#include "services/ToggleEvents.h"

#include <QMutexLocker>

#include <utility>

ToggleLogger::~ToggleLogger()
{
    stop();
}

void ToggleLogger::start(std::function<void(const ToggleAction &)> onToggle)
{
    if (m_observer)
        return;
    m_observer =
        ToggleEvents::addObserver([this, onToggle = std::move(onToggle)](const ToggleAction &action) {
            {
                const QMutexLocker locker(&m_mutex);
                m_actions.append(action);
            }
            if (onToggle)
                onToggle(action);
        });
}

void ToggleLogger::stop()
{
    if (m_observer)
        ToggleEvents::removeObserver(*std::exchange(m_observer, std::nullopt));
}

QList<ToggleAction> ToggleLogger::actions() const
{
    const QMutexLocker locker(&m_mutex);
    return m_actions;
}
