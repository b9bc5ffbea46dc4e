#pragma once

#include "store/ProjectServerApproval.h"

#include <QList>

// One server name to estimate, with the definition that may be probed for it. Estimates are
// kept per name, so a name listed by several sources is measured once, through the first
// definition that may run; without one (a project's .mcp.json server Claude Code has not
// approved) nothing is started or contacted and the name gets the fallback estimate, uncached.
struct ProbeTarget
{
    QString name;
    std::optional<MCPServerEntry> entry; // nullopt: must not be probed

    bool operator==(const ProbeTarget &) const = default;
};

namespace ProbeTargets {

// In order of first appearance: `servers` (global, Claude Desktop, managed…, all the user's or
// the administrator's own), then the servers of `projects`, whose definitions go through
// `approval`.
[[nodiscard]] QList<ProbeTarget> collect(const QList<MCPServerEntry> &servers,
                                         const QList<MCPProject> &projects,
                                         const ProjectServerApproval &approval);

} // namespace ProbeTargets
