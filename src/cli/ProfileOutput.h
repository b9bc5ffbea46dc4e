#pragma once

#include "cli/CliCommand.h"

#include "store/Profile.h"
#include "switching/SwitchFlow.h"

#include <nlohmann/json.hpp>

// How the profile commands name servers and profiles, in text and in JSON.
namespace ProfileOutput {

// "alpha (global)", "gamma (project /srv/app)", escaped for the terminal.
[[nodiscard]] QString serverLine(const ProfileEntry &entry);
[[nodiscard]] QString serverLine(const ServerSwitch &change);

[[nodiscard]] nlohmann::ordered_json serverJson(const ProfileEntry &entry);
[[nodiscard]] nlohmann::ordered_json serverJson(const ServerSwitch &change);

// ‘name’, escaped for the terminal.
[[nodiscard]] QString quoted(const QString &profileName);

// The time in local time, to the minute.
[[nodiscard]] QString savedAt(const QDateTime &time);

} // namespace ProfileOutput
