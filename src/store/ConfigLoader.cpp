#include "ConfigLoader.h"

#include "JsonFile.h"
#include "JsonValues.h"
#include "QuorlaneProjectConfig.h"
#include "platform/Paths.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

ConfigPaths ConfigPaths::forCurrentUser()
{
    return {Paths::claudeJsonPath(), Paths::desktopConfigPath(), Paths::managedConfigPath(),
            Paths::disabledGlobalConfigPath()};
}

namespace ConfigLoader {
namespace {

// Entries of a simple-layout file; none when it is missing or malformed.
QList<MCPServerEntry> entriesOfConfigFile(const QString &path)
{
    if (!QFileInfo::exists(path))
        return {};
    const auto bytes = JsonFile::read(path);
    const auto config = bytes ? MCPConfig::decode(*bytes) : std::nullopt;
    return config ? MCPServerEntries::fromMap(config->mcpServers) : QList<MCPServerEntry>{};
}

bool hasEntryNamed(const QList<MCPServerEntry> &entries, const QString &name)
{
    return std::any_of(entries.cbegin(), entries.cend(),
                       [&](const MCPServerEntry &e) { return e.name == name; });
}

// Names in the stash that are not live: the servers that are switched off.
void addStashedOnly(QSet<GlobalServerID> &ids, const DisabledGlobalConfig::Bucket &stash,
                    const QList<MCPServerEntry> &live, MCPSource source)
{
    for (const auto &[name, definition] : stash) {
        const QString qname = JsonValues::toQString(name);
        if (!hasEntryNamed(live, qname))
            ids.insert({qname, source});
    }
}

// Names of the record switched off: a name live in the project's entry of ~/.claude.json is on
// whatever the record says, and so is a stashed name that is live in the project's .mcp.json (the
// user added it again after switching it off).
QStringList effectivelyDisabled(const QuorlaneProjectConfig &record, const QString &path,
                                const QList<MCPServerEntry> &liveInClaudeJson)
{
    QStringList disabled;
    std::optional<QList<MCPServerEntry>> inMcpJson;
    for (const QString &name : record.disabled) {
        if (hasEntryNamed(liveInClaudeJson, name))
            continue;
        if (record.stashedConfigs.contains(name)) {
            if (!inMcpJson)
                inMcpJson = entriesOfConfigFile(path + QStringLiteral("/.mcp.json"));
            if (hasEntryNamed(*inMcpJson, name))
                continue;
        }
        disabled.append(name);
    }
    return disabled;
}

// Phase A: the projects ~/.claude.json knows, with the servers their records stashed.
void collectClaudeJsonProjects(const ClaudeJson &view, const QStringList &excludedNames,
                               QList<MCPProject> &found, QSet<QString> &paths)
{
    if (!view.projects)
        return;
    for (const auto &[path, project] : *view.projects) {
        if (excludedNames.contains(MCPProjects::lastPathComponent(path)) || paths.contains(path))
            continue;
        QList<MCPServerEntry> entries =
            project.mcpServers ? MCPServerEntries::fromMap(*project.mcpServers) : QList<MCPServerEntry>{};
        const QuorlaneProjectConfig record = QuorlaneProjectConfig::load(path);
        MCPProject listed{path, path, {}, MCPSource::project, true};
        listed.disabled = effectivelyDisabled(record, path, entries);
        const QList<MCPServerEntry> live = entries;
        for (auto it = record.stashedConfigs.cbegin(); it != record.stashedConfigs.cend(); ++it) {
            if (hasEntryNamed(live, it.key()))
                continue;
            // A definition the shown entry cannot hold (a number in "env", say) is kept in the
            // record but not listed.
            if (const auto raw = MCPServerRaw::decode(it->definition.toGeneric())) {
                entries.append(MCPServerEntry::fromRaw(it.key(), *raw));
                listed.stashedOrigins.insert(it.key(), it->origin);
            }
        }
        if (entries.isEmpty())
            continue;
        MCPServerEntries::sortByName(entries);
        listed.servers = std::move(entries);
        found.append(std::move(listed));
        paths.insert(path);
    }
}

// Phase B: folders directly under ~/Projects, then directly under ~, that hold a .mcp.json.
void collectScannedProjects(const QStringList &excludedNames, QList<MCPProject> &found, QSet<QString> &paths)
{
    const QString home = Paths::homeDirectory();
    for (const QString &root : {home + QStringLiteral("/Projects"), home}) {
        const QDir dir(root);
        const QStringList children = dir.entryList(
            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
        for (const QString &name : children) {
            const QString candidate = root + QLatin1Char('/') + name;
            const QString projectFile = candidate + QStringLiteral("/.mcp.json");
            if (!QFileInfo::exists(projectFile) || excludedNames.contains(name) || paths.contains(candidate))
                continue;
            QList<MCPServerEntry> entries = entriesOfConfigFile(projectFile);
            if (entries.isEmpty())
                continue;
            // The record's stash is not listed here; its "disabled" list still switches
            // .mcp.json servers off.
            MCPProject listed{candidate, candidate, std::move(entries), MCPSource::project, true};
            listed.disabled = effectivelyDisabled(QuorlaneProjectConfig::load(candidate), candidate, {});
            found.append(std::move(listed));
            paths.insert(candidate);
        }
    }
}

} // namespace

QList<MCPServerEntry> mergeStashed(QList<MCPServerEntry> live, const DisabledGlobalConfig::Bucket &stash)
{
    const QList<MCPServerEntry> liveOnly = live;
    for (const auto &[name, definition] : stash) {
        const QString qname = JsonValues::toQString(name);
        if (hasEntryNamed(liveOnly, qname))
            continue;
        if (const auto raw = MCPServerRaw::decode(definition.toGeneric()))
            live.append(MCPServerEntry::fromRaw(qname, *raw));
    }
    MCPServerEntries::sortByName(live);
    return live;
}

QList<MCPProject> loadProjects(const std::optional<ClaudeJson> &view, const QStringList &excludedNames)
{
    QList<MCPProject> projects;
    QSet<QString> paths;
    if (view)
        collectClaudeJsonProjects(*view, excludedNames, projects, paths);
    collectScannedProjects(excludedNames, projects, paths);

    // A project found by the scan can still have an entry in .claude.json that only switches
    // servers off (Claude Code's /mcp on a .mcp.json server), so every project looks its entry up.
    QHash<QString, QStringList> offInClaudeCode;
    if (view && view->projects) {
        for (const auto &[path, project] : *view->projects)
            offInClaudeCode.insert(path, project.disabledMcpServers);
    }
    for (MCPProject &project : projects)
        project.offInClaudeCode = offInClaudeCode.value(project.path);
    MCPProjects::sortByLastComponent(projects);
    return projects;
}

LoadResult loadSnapshot(const ConfigPaths &paths, const QStringList &excludedNames)
{
    const auto claudeBytes = JsonFile::read(paths.claudeJsonPath);
    const std::optional<ClaudeJson> view = claudeBytes ? ClaudeJson::decode(*claudeBytes) : std::nullopt;

    const auto stashBytes = JsonFile::read(paths.disabledGlobalConfigPath);
    const DisabledGlobalConfig stash = (stashBytes ? DisabledGlobalConfig::decode(*stashBytes) : std::nullopt)
                                           .value_or(DisabledGlobalConfig{});

    const QList<MCPServerEntry> liveGlobal =
        (view && view->mcpServers) ? MCPServerEntries::fromMap(*view->mcpServers) : QList<MCPServerEntry>{};
    const QList<MCPServerEntry> liveDesktop = entriesOfConfigFile(paths.desktopConfigPath);

    LoadResult result;
    addStashedOnly(result.disabledIDs, stash.global, liveGlobal, MCPSource::global);
    addStashedOnly(result.disabledIDs, stash.desktop, liveDesktop, MCPSource::desktop);
    result.global = mergeStashed(liveGlobal, stash.global);
    result.desktop = mergeStashed(liveDesktop, stash.desktop);
    result.managed = entriesOfConfigFile(paths.managedConfigPath);
    result.projects = loadProjects(view, excludedNames);
    return result;
}

} // namespace ConfigLoader
