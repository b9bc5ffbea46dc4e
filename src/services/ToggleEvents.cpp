#include "services/ToggleEvents.h"

namespace ToggleEvents {

QString name()
{
    return QStringLiteral("quorlane.toggleEvents");
}

void post(const ToggleAction &action)
{
    NotificationCenter::defaultCenter().post(name(), QVariant::fromValue(action));
}

ToggleAction post(const QString &server, const QString &projectPath, bool isEnabled)
{
    const ToggleAction action{server, projectPath, isEnabled, QDateTime::currentDateTimeUtc()};
    post(action);
    return action;
}

NotificationCenter::Token addObserver(std::function<void(const ToggleAction &)> observer)
{
    return NotificationCenter::defaultCenter().addObserver(
        name(), [observer = std::move(observer)](const QVariant &object) {
            if (object.canConvert<ToggleAction>())
                observer(object.value<ToggleAction>());
        });
}

void removeObserver(NotificationCenter::Token token)
{
    NotificationCenter::defaultCenter().removeObserver(token);
}

} // namespace ToggleEvents
