#pragma once

#include "switching/SwitchFlow.h"

#include "store/Profile.h"

class MCPConfigService;

// What applying a profile would do to the servers as they are listed now.
struct ProfilePlan
{
    QList<ServerSwitch> switches; // servers whose state differs, in the profile's order
    QList<ProfileEntry> gone;     // in the profile, no longer configured: left alone
    QList<ProfileEntry> appeared; // configured since the profile was saved: left as they are

    bool operator==(const ProfilePlan &) const = default;
};

namespace ProfilePlans {

// Every switchable server as listed now (global, Claude Desktop, every project; never the
// managed ones), with its state.
[[nodiscard]] QList<ProfileEntry> currentState(const MCPConfigService &config);

[[nodiscard]] ProfilePlan plan(const QList<ProfileEntry> &saved, const QList<ProfileEntry> &current);

// The switch that brings a server to the entry's state: Claude Code's own switches through the
// folder's "disabledMcpServers", every other one through its source's lossless path.
[[nodiscard]] ServerSwitch switchFor(const ProfileEntry &entry);
[[nodiscard]] ProfileEntry entryOf(const ServerSwitch &change);

// Where the switch is, as a list shows it: "global", "Claude Desktop", "project /srv/app",
// "Claude Code's switch in /srv/app"; the caller escapes it for the terminal.
[[nodiscard]] QString where(MCPSource source, const QString &projectPath);
[[nodiscard]] QString where(const ProfileEntry &entry);

} // namespace ProfilePlans
