#include "probe/ProbeTargets.h"

namespace ProbeTargets {

QList<ProbeTarget> collect(const QList<std::pair<MCPSource, QList<MCPServerEntry>>> &own,
                           const QList<MCPProject> &projects, const ProjectServerApproval &approval)
{
    QList<ProbeTarget> targets;
    for (const auto &[source, servers] : own) {
        for (const MCPServerEntry &entry : servers)
            targets.append({{source, {}, entry.name}, entry});
    }
    for (const MCPProject &project : projects) {
        for (const MCPServerEntry &entry : project.servers) {
            targets.append({{MCPSource::project, project.path, entry.name},
                            approval.mayProbe(project, entry) ? std::optional(entry) : std::nullopt});
        }
    }
    return targets;
}

} // namespace ProbeTargets
