#include "store/ProjectServerApproval.h"

#include "platform/Paths.h"
#include "store/JsonFile.h"

ProjectServerApproval ProjectServerApproval::forCurrentUser()
{
    return ProjectServerApproval(JsonFile::readObject(Paths::claudeSettingsPath()));
}

ProjectServerApproval::ProjectServerApproval(std::optional<nlohmann::json> userSettings)
{
    if (userSettings && userSettings->is_object()) {
        const auto all = userSettings->find("enableAllProjectMcpServers");
        m_allApprovedByUser = all != userSettings->end() && all->is_boolean() && all->get<bool>();
    }
}

bool ProjectServerApproval::isApproved(const MCPProject &project, const QString &name) const
{
    const McpjsonApproval &decisions = project.mcpjsonApproval;
    if (decisions.disabledMcpjsonServers.contains(name))
        return false;
    if (decisions.enabledMcpjsonServers.contains(name) || decisions.enableAllProjectMcpServers)
        return true;
    return m_allApprovedByUser && decisions.hasTrustDialogAccepted;
}

bool ProjectServerApproval::mayProbe(const MCPProject &project, const MCPServerEntry &entry) const
{
    // A stashed definition is not the one Claude Code approved under that name: only where it
    // came from decides.
    const auto stashed = project.stashedOrigins.constFind(entry.name);
    if (stashed != project.stashedOrigins.cend())
        return DefinitionOrigins::isTrusted(*stashed);
    return project.fromClaudeJson.contains(entry.name) || isApproved(project, entry.name);
}
