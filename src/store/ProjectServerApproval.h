#pragma once

#include "store/MCPProject.h"

#include <nlohmann/json.hpp>

#include <optional>

// Whether a project server may be started or contacted to measure it. Cloning a repository must
// never make Quorlane run its code: a project server runs only when its definition is the user's
// own for that project in ~/.claude.json, or Claude Code itself has approved it for that project.
// A server the loader lists from the folder's .mcp.json needs that approval, also when Claude
// Code knows the folder. A definition stashed in the project's record runs only when it was taken
// from the user's own ~/.claude.json: older versions kept that record inside the project folder,
// so a repository can ship one, and approval of a .mcp.json server of the same name does not
// extend to it.
//
// What ~/.claude.json says comes from the load (MCPProject::mcpjsonApproval), read in the same
// pass as everything else: the file is never parsed a second time, by another reader that might
// read it otherwise. The whole policy is here.
class ProjectServerApproval
{
public:
    // With the current user's ~/.claude/settings.json; an unreadable file approves nothing.
    [[nodiscard]] static ProjectServerApproval forCurrentUser();

    // `userSettings` is the parsed file (nullopt when missing or malformed).
    explicit ProjectServerApproval(std::optional<nlohmann::json> userSettings);

    // Whether Claude Code has approved the .mcp.json server `name` of `project`: the project's
    // entry in ~/.claude.json lists the name in "enabledMcpjsonServers" or has
    // "enableAllProjectMcpServers": true, or the user settings have
    // "enableAllProjectMcpServers": true and the user trusted the folder
    // ("hasTrustDialogAccepted"), as Claude Code asks before it loads a folder's servers. A name
    // the user rejected there ("disabledMcpjsonServers") is never approved.
    [[nodiscard]] bool isApproved(const MCPProject &project, const QString &name) const;

    // Whether this server of a loaded project may be probed: a stashed one when it came from the
    // user's own file; a live one when it was read from the project's entry in ~/.claude.json, or
    // it is approved.
    [[nodiscard]] bool mayProbe(const MCPProject &project, const MCPServerEntry &entry) const;

private:
    bool m_allApprovedByUser = false;
};
