#pragma once

#include "store/MCPProject.h"

#include <nlohmann/json.hpp>

#include <optional>

// Whether a project server may be started or contacted to measure it. Cloning a repository must
// never make Quorlane run its code: a project server runs only when its exact definition is the
// user's own for that project in ~/.claude.json, or Claude Code itself has approved it for that
// project. A server the loader lists from the folder's .mcp.json needs that approval, also when
// Claude Code knows the folder. A definition stashed in the project's record runs only when it
// was taken from the user's own ~/.claude.json: older versions kept that record inside the
// project folder, so a repository can ship one, and approval of a .mcp.json server of the same
// name does not extend to it.
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

    // Whether this server of a loaded project may be probed: a stashed one when it came from the
    // user's own file; a live one when its exact definition is the one ~/.claude.json holds for
    // the project, or it is approved.
    [[nodiscard]] bool mayProbe(const MCPProject &project, const MCPServerEntry &entry) const;

private:
    [[nodiscard]] const nlohmann::json *projectEntry(const QString &projectPath) const;
    [[nodiscard]] bool isUsersOwnDefinition(const QString &projectPath, const MCPServerEntry &entry) const;

    std::optional<nlohmann::json> m_claudeJson;
    std::optional<nlohmann::json> m_userSettings;
};
