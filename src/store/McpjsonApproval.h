#pragma once

#include <QStringList>

// What Claude Code has recorded in a project's entry of ~/.claude.json about the servers of that
// folder's .mcp.json: whether the user trusted the folder and which of its servers they approved
// or rejected. Only read, never written; a member of another shape reads as not set. Whether a
// server may then run is decided in one place, ProjectServerApproval.
struct McpjsonApproval
{
    bool hasTrustDialogAccepted = false;
    bool enableAllProjectMcpServers = false;
    QStringList enabledMcpjsonServers;
    QStringList disabledMcpjsonServers;

    bool operator==(const McpjsonApproval &) const = default;
};
