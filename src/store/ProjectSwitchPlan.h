#pragma once

#include "store/MCPProject.h"

#include <QCoro/QCoroTask>

#include <optional>

// How a switch of a name in one project folder reaches what a Claude Code session there loads
// under that name (MCPProject::loads):
// - the folder's own server in ~/.claude.json (local scope) moves into the project's record and
//   back (ProjectServerToggle), and so does a name the record switched off;
// - any other server (user scope, a .mcp.json server, a local one filed under the git work
//   tree's root) is switched the way Claude Code's /mcp switches it: its name is added to or
//   removed from the folder's "disabledMcpServers" (ClaudeCodeSwitch); nothing moves;
// - switching on a .mcp.json server that waits for approval (or was rejected) approves it where
//   Claude Code's own prompt does (LocalSettingsApproval), and only when the caller says it
//   trusts the definition.
struct ProjectSwitchPlan
{
    bool record = false;
    bool claudeCode = false;
    // The .mcp.json server switching on approves; it needs trust.
    std::optional<ClaudeCodeRules::ServerLoad> approval;

    bool operator==(const ProjectSwitchPlan &) const = default;

    // Throws QuorlaneError when the folder knows no server of that name, or when only the
    // managed policy keeps it from loading. An empty plan: already as asked.
    [[nodiscard]] static ProjectSwitchPlan decide(const MCPProject &project, const QString &name,
                                                  bool enabled);

    // Carries the plan out, the record first; runs on a worker (OffThread). `trust` lets a switch
    // put back a definition that came from inside the folder and approve a .mcp.json server;
    // without it both are refused before anything is written, with an error that says what
    // would run.
    static QCoro::Task<void> apply(ProjectSwitchPlan plan, QString claudeJsonPath, QString name,
                                   QString projectPath, bool enabled, bool trust);
};

// What a definition runs: its command line, or its URL.
[[nodiscard]] QString whatItRuns(const MCPServerEntry &entry);
