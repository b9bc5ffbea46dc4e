#pragma once

#include "store/MCPProject.h"

#include <nlohmann/json.hpp>

#include <optional>

// Whether a project server may be started or contacted to measure it. Cloning a repository must
// never make Quorlane run its code: a server listed only because a project folder holds a
// .mcp.json runs only once Claude Code itself has approved it for that project. The user's own
// definitions (in ~/.claude.json for that project, or stashed by Quorlane while switched off)
// need no approval.
class ProjectServerApproval
{
public:
    // From the current user's ~/.claude.json and ~/.claude/settings.json; an unreadable file
    // approves nothing.
    [[nodiscard]] static ProjectServerApproval forCurrentUser();

    // `claudeJson` and `userSettings` are the parsed files (nullopt when missing or malformed).
    ProjectServerApproval(std::optional<nlohmann::json> claudeJson,
                          std::optional<nlohmann::json> userSettings);

    // Whether Claude Code has approved the .mcp.json server `name` of the project at
    // `projectPath`: its project entry in ~/.claude.json lists the name in
    // "enabledMcpjsonServers" or has "enableAllProjectMcpServers": true, or the user settings
    // have "enableAllProjectMcpServers": true. A name the user rejected there
    // ("disabledMcpjsonServers") is never approved.
    [[nodiscard]] bool isApproved(const QString &projectPath, const QString &name) const;

    // Whether this server of a loaded project may be probed: its exact definition is the one
    // ~/.claude.json or Quorlane's sidecar stash holds for the project, or it is approved.
    // Anything else came from the project's own .mcp.json.
    [[nodiscard]] bool mayProbe(const MCPProject &project, const MCPServerEntry &entry) const;

private:
    [[nodiscard]] const nlohmann::json *projectEntry(const QString &projectPath) const;
    [[nodiscard]] bool isUsersOwnDefinition(const QString &projectPath, const MCPServerEntry &entry) const;

    std::optional<nlohmann::json> m_claudeJson;
    std::optional<nlohmann::json> m_userSettings;
};
