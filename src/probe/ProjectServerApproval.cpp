#include "ProjectServerApproval.h"

#include "platform/Paths.h"
#include "store/JsonFile.h"

namespace {

bool isTrue(const nlohmann::json &object, const char *key)
{
    const auto it = object.find(key);
    return it != object.end() && it->is_boolean() && it->get<bool>();
}

bool listsName(const nlohmann::json &object, const char *key, const QString &name)
{
    const auto it = object.find(key);
    if (it == object.end() || !it->is_array())
        return false;
    const std::string wanted = name.toStdString();
    return std::any_of(it->begin(), it->end(), [&](const nlohmann::json &item) {
        return item.is_string() && item.get<std::string>() == wanted;
    });
}

} // namespace

ProjectServerApproval ProjectServerApproval::forCurrentUser()
{
    return ProjectServerApproval(JsonFile::readObject(Paths::claudeJsonPath()),
                                 JsonFile::readObject(Paths::claudeSettingsPath()));
}

ProjectServerApproval::ProjectServerApproval(std::optional<nlohmann::json> claudeJson,
                                             std::optional<nlohmann::json> userSettings)
    : m_claudeJson(std::move(claudeJson)), m_userSettings(std::move(userSettings))
{}

const nlohmann::json *ProjectServerApproval::projectEntry(const QString &projectPath) const
{
    if (!m_claudeJson || !m_claudeJson->is_object())
        return nullptr;
    const auto projects = m_claudeJson->find("projects");
    if (projects == m_claudeJson->end() || !projects->is_object())
        return nullptr;
    // The key exactly as Claude Code wrote it: another spelling of the folder approves nothing.
    const auto project = projects->find(projectPath.toStdString());
    if (project == projects->end() || !project->is_object())
        return nullptr;
    return &*project;
}

bool ProjectServerApproval::isApproved(const QString &projectPath, const QString &name) const
{
    const nlohmann::json *project = projectEntry(projectPath);
    if (project && listsName(*project, "disabledMcpjsonServers", name))
        return false;
    if (project && (listsName(*project, "enabledMcpjsonServers", name) ||
                    isTrue(*project, "enableAllProjectMcpServers")))
        return true;
    return m_userSettings && m_userSettings->is_object() &&
           isTrue(*m_userSettings, "enableAllProjectMcpServers");
}

bool ProjectServerApproval::isUsersOwnDefinition(const QString &projectPath,
                                                 const MCPServerEntry &entry) const
{
    if (const nlohmann::json *project = projectEntry(projectPath)) {
        const auto servers = project->find("mcpServers");
        if (servers != project->end() && servers->is_object()) {
            const auto definition = servers->find(entry.name.toStdString());
            if (definition != servers->end()) {
                const auto raw = MCPServerRaw::decode(*definition);
                if (raw && MCPServerEntry::fromRaw(entry.name, *raw) == entry)
                    return true;
            }
        }
    }
    return false;
}

bool ProjectServerApproval::mayProbe(const MCPProject &project, const MCPServerEntry &entry) const
{
    // A stashed definition is not the one Claude Code approved under that name: only where it
    // came from decides.
    const auto stashed = project.stashedOrigins.constFind(entry.name);
    if (stashed != project.stashedOrigins.cend())
        return DefinitionOrigins::isTrusted(*stashed);
    return isUsersOwnDefinition(project.path, entry) || isApproved(project.path, entry.name);
}
