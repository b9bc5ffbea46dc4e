#include "ConfigLoader.h"

#include "CodePointOrder.h"
#include "JsonFile.h"
#include "JsonValues.h"
#include "ProjectRecordFile.h"
#include "QuorlaneProjectConfig.h"
#include "SourceCache.h"
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

// The same for a file that may be large (the Claude Desktop file): decoded once per content.
QList<MCPServerEntry> entriesOfLargeConfigFile(const QString &path)
{
    auto &cache = SourceCache::serverFiles();
    const auto stamp = FileStamp::of(path);
    if (!stamp)
        return {};
    auto servers = cache.find(path, *stamp);
    if (!servers) {
        auto [read, known] = SourceCache::readStamped(path, [&]() -> std::optional<MCPServerMap> {
            const auto bytes = JsonFile::read(path);
            auto config = bytes ? MCPConfig::decode(*bytes) : std::nullopt;
            return config ? std::optional(std::move(config->mcpServers)) : std::nullopt;
        });
        if (known)
            cache.keep(path, *known, read);
        servers = std::move(read);
    }
    return *servers ? MCPServerEntries::fromMap(**servers) : QList<MCPServerEntry>{};
}

// ~/.claude.json's view, decoded once per content: it can be tens of megabytes.
std::optional<ClaudeJson> readClaudeJson(const QString &path)
{
    auto &cache = SourceCache::claudeJson();
    if (const auto stamp = FileStamp::of(path))
        if (auto cached = cache.find(path, *stamp))
            return std::move(*cached);
    auto [view, known] = SourceCache::readStamped(path, [&]() -> std::optional<ClaudeJson> {
        const auto bytes = JsonFile::read(path);
        return bytes ? ClaudeJson::decode(*bytes) : std::nullopt;
    });
    if (known)
        cache.keep(path, *known, view);
    return view;
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
                               const ProjectRecordFile::Listing &records, QList<MCPProject> &found,
                               QSet<QString> &paths)
{
    if (!view.projects)
        return;
    for (const auto &[path, project] : *view.projects) {
        if (excludedNames.contains(MCPProjects::lastPathComponent(path)) || paths.contains(path))
            continue;
        QList<MCPServerEntry> entries =
            project.mcpServers ? MCPServerEntries::fromMap(*project.mcpServers) : QList<MCPServerEntry>{};
        const QuorlaneProjectConfig record = ProjectRecordFile::loadForReading(path, &records);
        MCPProject listed{path, path, {}, MCPSource::project, true, {}, {}, {}, {}, {}};
        listed.disabled = effectivelyDisabled(record, path, entries);
        const QList<MCPServerEntry> live = entries;
        for (const MCPServerEntry &entry : live)
            listed.fromClaudeJson.append(entry.name);
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
void collectScannedProjects(const QStringList &excludedNames, const ProjectRecordFile::Listing &records,
                            QList<MCPProject> &found, QSet<QString> &paths)
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
            MCPProject listed{candidate, candidate, std::move(entries), MCPSource::project, true, {}, {}, {},
                              {},        {}};
            listed.disabled =
                effectivelyDisabled(ProjectRecordFile::loadForReading(candidate, &records), candidate, {});
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
    const auto records = ProjectRecordFile::Listing::now();
    if (view) {
        collectClaudeJsonProjects(*view, excludedNames, records, projects, paths);
        // By path, so that projects whose folders share a name keep one order whatever the order
        // of the file (which the first rewrite sorts).
        std::sort(projects.begin(), projects.end(),
                  [](const MCPProject &a, const MCPProject &b) { return codePointLess(a.path, b.path); });
    }
    collectScannedProjects(excludedNames, records, projects, paths);

    // A project found by the scan can still have an entry in .claude.json that only switches
    // servers off (Claude Code's /mcp on a .mcp.json server) or approves them, so every project
    // looks its entry up.
    if (view && view->projects) {
        QHash<QString, const ClaudeJsonProject *> entries;
        for (const auto &[path, project] : *view->projects)
            entries.insert(path, &project);
        for (MCPProject &project : projects) {
            if (const ClaudeJsonProject *entry = entries.value(project.path)) {
                project.offInClaudeCode = entry->disabledMcpServers;
                project.mcpjsonApproval = entry->approval;
            }
        }
    }
    MCPProjects::sortByLastComponent(projects);
    return projects;
}

LoadResult loadSnapshot(const ConfigPaths &paths, const QStringList &excludedNames)
{
    // The text (tens of megabytes) is let go before the next file is read.
    const std::optional<ClaudeJson> view = readClaudeJson(paths.claudeJsonPath);

    const auto stashBytes = JsonFile::read(paths.disabledGlobalConfigPath);
    const DisabledGlobalConfig stash = (stashBytes ? DisabledGlobalConfig::decode(*stashBytes) : std::nullopt)
                                           .value_or(DisabledGlobalConfig{});

    const QList<MCPServerEntry> liveGlobal =
        (view && view->mcpServers) ? MCPServerEntries::fromMap(*view->mcpServers) : QList<MCPServerEntry>{};
    const QList<MCPServerEntry> liveDesktop = entriesOfLargeConfigFile(paths.desktopConfigPath);

    LoadResult result;
    addStashedOnly(result.disabledIDs, stash.global, liveGlobal, MCPSource::global);
    addStashedOnly(result.disabledIDs, stash.desktop, liveDesktop, MCPSource::desktop);
    result.global = mergeStashed(liveGlobal, stash.global);
    result.desktop = mergeStashed(liveDesktop, stash.desktop);
    result.managed = entriesOfLargeConfigFile(paths.managedConfigPath);
    result.projects = loadProjects(view, excludedNames);
    return result;
}

} // namespace ConfigLoader
