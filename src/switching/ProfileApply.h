#pragma once

#include "switching/ProfilePlan.h"

#include <optional>

// Applying a saved profile, for the command line and the panel alike: under a lock of its own
// (two applies at once run one after the other, the second planning on what the first left), it
// reloads, plans against what is listed now and switches every differing server through the
// switch flow, stopping at the first failure.
namespace ProfileApply {

struct Result
{
    ProfilePlan plan;
    qsizetype done = 0;             // the first `done` of plan.switches were switched
    std::optional<QString> failure; // why the next one was not
};

struct Request
{
    Profile profile;
    bool relaunch = false; // relaunch the sessions concerned once at the end
    bool dryRun = false;   // plan only
    std::function<void(const ServerSwitch &)> progress;
};

// Throws QuorlaneError when the lock cannot be had; every failure after that is in the result.
QCoro::Task<Result> apply(SwitchFlow flow, MCPConfigService *config, Request request);

} // namespace ProfileApply
