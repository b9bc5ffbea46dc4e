#include "probe/ProbeTargets.h"

#include <QHash>

namespace ProbeTargets {

QList<ProbeTarget> collect(const QList<MCPServerEntry> &servers, const QList<MCPProject> &projects,
                           const ProjectServerApproval &approval)
{
    QList<ProbeTarget> targets;
    QHash<QString, qsizetype> indexByName;
    const auto add = [&](const MCPServerEntry &entry, bool mayProbe) {
        const auto found = indexByName.constFind(entry.name);
        if (found == indexByName.cend()) {
            indexByName.insert(entry.name, targets.size());
            targets.append({entry.name, mayProbe ? std::optional(entry) : std::nullopt});
        } else if (mayProbe && !targets[*found].entry) {
            targets[*found].entry = entry;
        }
    };
    for (const MCPServerEntry &entry : servers)
        add(entry, true);
    for (const MCPProject &project : projects) {
        for (const MCPServerEntry &entry : project.servers)
            add(entry, approval.mayProbe(project, entry));
    }
    return targets;
}

} // namespace ProbeTargets
