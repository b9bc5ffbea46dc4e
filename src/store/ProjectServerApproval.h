#pragma once

#include "store/MCPProject.h"

// Whether a project server may be started or contacted to measure it. Cloning a repository must
// never make Quorlane run its code: a project server runs only when its definition is the user's
// own for that project in ~/.claude.json, or Claude Code itself would load it there after
// approval. A server the loader lists from a .mcp.json needs that approval, also when Claude Code
// knows the folder. A definition stashed in the project's record runs only when it was taken from
// the user's own ~/.claude.json: older versions kept that record inside the project folder, so a
// repository can ship one, and approval of a .mcp.json server of the same name does not extend
// to it.
//
// Approval is Claude Code's own rule (ClaudeCodeRules::ProjectApproval), as the load worked it
// out for the folder (MCPProject::approval): the folder trusted and the name approved, not
// rejected. There is one policy, the one that also decides what a session loads.
class ProjectServerApproval
{
public:
    // Everything the answer needs was read by the load; kept so that callers ask one object.
    [[nodiscard]] static ProjectServerApproval forCurrentUser() { return {}; }

    // Whether Claude Code has approved the .mcp.json server `name` for `project`.
    [[nodiscard]] bool isApproved(const MCPProject &project, const QString &name) const;

    // Whether this server of a loaded project may be probed: a stashed one when it came from the
    // user's own file; a live one when it was read from the project's entry in ~/.claude.json, or
    // it is approved.
    [[nodiscard]] bool mayProbe(const MCPProject &project, const MCPServerEntry &entry) const;
};
