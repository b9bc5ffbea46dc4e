#include "services/ToggleEvents.h"

ToggleAction ToggleEvents::post(const QString &server, const QString &projectPath, bool isEnabled)
{
    const ToggleAction action{server, projectPath, isEnabled, QDateTime::currentDateTimeUtc()};
    Q_EMIT toggled(action);
    return action;
}
