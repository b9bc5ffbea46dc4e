#include "store/ProjectLoads.h"

#include "platform/Paths.h"
#include "store/JsonFile.h"

#include <QFileInfo>
#include <QHash>

namespace ProjectLoads {
namespace {

using ClaudeCodeRules::FolderServers;

// The entries of ~/.claude.json a folder's session reads: its own, and inside a git work tree
// the root's, where Claude Code files the folder.
QList<const ClaudeJsonProject *>
recordsFor(const QString &path, const QHash<QString, const ClaudeJsonProject *> &byPath, FolderChain &chain)
{
    QList<const ClaudeJsonProject *> records;
    if (const auto *own = byPath.value(path))
        records.append(own);
    const QString root = chain.workTreeRoot(path);
    if (!root.isEmpty() && root != path)
        if (const auto *rooted = byPath.value(root))
            records.append(rooted);
    return records;
}

void addLocal(FolderServers &servers, const MCPProject &project,
              const QList<const ClaudeJsonProject *> &records)
{
    for (const ClaudeJsonProject *record : records) {
        if (!record->mcpServers)
            continue;
        for (auto it = record->mcpServers->cbegin(); it != record->mcpServers->cend(); ++it)
            if (std::none_of(servers.local.cbegin(), servers.local.cend(),
                             [&](const MCPServerEntry &e) { return e.name == it.key(); }))
                servers.local.append(MCPServerEntry::fromRaw(it.key(), *it));
    }
    // Stashed in the project's record: off, and in no file Claude Code reads.
    for (const MCPServerEntry &entry : project.servers)
        if (project.stashedOrigins.contains(entry.name)) {
            servers.local.append(entry);
            servers.localOff.insert(entry.name);
        }
}

void addApproval(FolderServers &servers, const QString &path, const QList<const ClaudeJsonProject *> &records,
                 const std::optional<nlohmann::json> &userSettings)
{
    auto &approval = servers.approval;
    for (const ClaudeJsonProject *record : records) {
        approval.trusted = approval.trusted || record->approval.trusted;
        approval.enableAll = approval.enableAll || record->approval.enableAll;
        approval.enabled += record->approval.enabled;
        approval.rejected += record->approval.rejected;
    }
    if (const auto local = JsonFile::readObject(path + QStringLiteral("/.claude/settings.local.json")))
        approval.addSettings(*local);
    if (userSettings)
        approval.addSettings(*userSettings);
}

FolderServers outsideProjects(const LoadResult &result)
{
    FolderServers servers;
    servers.user = result.global;
    for (const GlobalServerID &id : result.disabledIDs)
        if (id.source == MCPSource::global)
            servers.userOff.insert(id.name);
    servers.managed = result.managed;
    return servers;
}

ClaudeCodeRules::ManagedPolicy policyOf(const ConfigPaths &paths, const LoadResult &result)
{
    const QString settings =
        QFileInfo(paths.managedConfigPath).absolutePath() + QStringLiteral("/managed-settings.json");
    // A managed file that parses takes control, even with no servers in it.
    const bool exclusive = QFileInfo::exists(paths.managedConfigPath) &&
                           (!result.managed.isEmpty() || JsonFile::readObject(paths.managedConfigPath));
    return ClaudeCodeRules::ManagedPolicy(JsonFile::readObject(settings), exclusive);
}

} // namespace

void attach(LoadResult &result, const std::optional<ClaudeJson> &view, const ConfigPaths &paths,
            FolderChain &chain)
{
    const auto policy = policyOf(paths, result);
    const FolderServers outside = outsideProjects(result);
    result.loads = ClaudeCodeRules::resolve(outside, policy);
    if (result.projects.isEmpty())
        return;

    QHash<QString, const ClaudeJsonProject *> byPath;
    if (view && view->projects) {
        byPath.reserve(view->projects->size());
        for (const auto &[path, project] : *view->projects)
            byPath.insert(path, &project);
    }
    const auto userSettings = JsonFile::readObject(Paths::claudeSettingsPath());
    for (MCPProject &project : result.projects) {
        FolderServers servers = outside;
        const auto records = recordsFor(project.path, byPath, chain);
        addLocal(servers, project, records);
        servers.project = chain.projectServers(project.path);
        for (const auto &[entry, file] : servers.project)
            if (project.disabled.contains(entry.name) && !project.stashedOrigins.contains(entry.name))
                servers.projectOff.insert(entry.name);
        for (const ClaudeJsonProject *record : records)
            servers.offInClaudeCode += record->disabledMcpServers;
        if (!servers.project.isEmpty())
            addApproval(servers, project.path, records, userSettings);
        project.loads = ClaudeCodeRules::resolve(servers, policy);
        project.approval = std::move(servers.approval);
    }
}

} // namespace ProjectLoads
