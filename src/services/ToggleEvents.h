#pragma once

#include "services/NotificationCenter.h"
#include "services/ToggleAction.h"

#include <functional>

// The toggle-event channel: whoever applied a toggle without error posts one ToggleAction, and
// every part of the application that wants to follow toggles observes it, without depending on
// the poster.
namespace ToggleEvents {

// The notification name shared by publisher and observers.
QString name();

// Delivers `action` synchronously, on this thread, to every observer registered now.
void post(const ToggleAction &action);

// Builds the action, stamped with the current time, and posts it. Call after a toggle has been
// applied without error and before any relaunch it triggers: projectPath is empty for a global
// or Claude Desktop server.
ToggleAction post(const QString &server, const QString &projectPath, bool isEnabled);

[[nodiscard]] NotificationCenter::Token addObserver(std::function<void(const ToggleAction &)> observer);
void removeObserver(NotificationCenter::Token token);

} // namespace ToggleEvents
