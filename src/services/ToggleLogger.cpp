#include "services/ToggleLogger.h"

#include "services/ToggleEvents.h"

#include <QMutexLocker>

#include <utility>

ToggleLogger::~ToggleLogger()
{
    stop();
}

void ToggleLogger::start(ToggleEvents &events, std::function<void(const ToggleAction &)> onToggle)
{
    if (m_observer)
        return;
    // No context object: the slot runs on the posting thread, before the post returns.
    m_observer = QObject::connect(&events, &ToggleEvents::toggled,
                                  [this, onToggle = std::move(onToggle)](const ToggleAction &action) {
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
        QObject::disconnect(std::exchange(m_observer, {}));
}

QList<ToggleAction> ToggleLogger::actions() const
{
    const QMutexLocker locker(&m_mutex);
    return m_actions;
}
