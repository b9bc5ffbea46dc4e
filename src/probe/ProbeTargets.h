#pragma once

#include "probe/ProbeIdentity.h"
#include "store/ProjectServerApproval.h"

#include <QList>

// One configured server to estimate, with the definition that may be probed for it; without one
// (a project's .mcp.json server Claude Code has not approved) nothing is started or contacted
// and the server gets the fallback estimate, uncached.
struct ProbeTarget
{
    ProbeIdentity server;
    std::optional<MCPServerEntry> entry; // nullopt: must not be probed

    bool operator==(const ProbeTarget &) const = default;
};

namespace ProbeTargets {

// One target per server, in order: `own` (global, Claude Desktop, managed…, all the user's or the
// administrator's own, each list with its source), then the servers of `projects`, whose
// definitions go through `approval`.
[[nodiscard]] QList<ProbeTarget> collect(const QList<std::pair<MCPSource, QList<MCPServerEntry>>> &own,
                                         const QList<MCPProject> &projects,
                                         const ProjectServerApproval &approval);

} // namespace ProbeTargets
