#pragma once

#include "services/ToggleAction.h"

#include <QObject>

// The toggle-event channel, "quorlane.toggleEvents": whoever applied a toggle without error
// posts one ToggleAction, and every part of the application that wants to follow toggles
// connects to `toggled`, without depending on the poster. The application owns one channel
// (ApplicationServices) and hands it to whoever posts or listens. Main thread.
class ToggleEvents : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Builds the action, stamped with the current time, and emits it: a direct connection hears
    // it before the post returns. Call after a toggle has been applied without error and before
    // any relaunch it triggers: projectPath is empty for a global or Claude Desktop server.
    ToggleAction post(const QString &server, const QString &projectPath, bool isEnabled);

Q_SIGNALS:
    void toggled(const ToggleAction &action);
};
