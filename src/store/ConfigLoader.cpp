#include "store/ConfigLoader.h"

#include "platform/Paths.h"
#include "platform/RegularFile.h"
#include "store/JsonFile.h"
#include "store/ProjectLoads.h"
#include "store/ProjectRecordFile.h"
#include "store/QuorlaneProjectConfig.h"
#include "store/SourceCache.h"
#include "json/CodePointOrder.h"
#include "json/JsonValues.h"
#include "json/LargeBuffer.h"

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

// Where one load notes the files it could not read; each file once.
class Errors
{
public:
    void add(const QString &file, const QString &message)
    {
        if (std::none_of(m_list.cbegin(), m_list.cend(),
                         [&](const SourceError &e) { return e.file == file; }))
            m_list.append({file, message});
    }
    [[nodiscard]] QList<SourceError> take() { return std::move(m_list); }

private:
    QList<SourceError> m_list;
};

// The bytes of a source; nullopt when nothing is there or it could not be read (noted).
std::optional<QByteArray> readSource(const QString &path, std::int64_t limit, Errors &errors)
{
    RegularFile::Result read = RegularFile::read(path, limit, &LargeBuffer::reserved);
    if (!read.error.isEmpty())
        errors.add(path, read.error);
    return std::move(read.bytes);
}

QString notReadable(const QString &path, const QString &what)
{
    return QStringLiteral("Could not read %1: %2").arg(path, what);
}

// Entries of a project's .mcp.json; none when it is missing or malformed. One that is not a
// regular file, too large or unreadable is skipped and noted: a cloned repository decides what
// sits there (a FIFO, a link to /dev/zero).
QList<MCPServerEntry> entriesOfConfigFile(const QString &path, Errors &errors)
{
    const auto bytes = readSource(path, RegularFile::kSmallLimit, errors);
    const auto config = bytes ? MCPConfig::decode(*bytes) : std::nullopt;
    return config ? MCPServerEntries::fromMap(config->mcpServers) : QList<MCPServerEntry>{};
}

// The same for a file that may be large (the Claude Desktop file, the managed file): decoded once
// per content. One that is there but does not read as the simple layout is noted.
QList<MCPServerEntry> entriesOfLargeConfigFile(const QString &path, Errors &errors)
{
    auto &cache = SourceCache::serverFiles();
    const auto stamp = FileStamp::of(path);
    std::optional<std::optional<MCPServerMap>> servers = stamp ? cache.find(path, *stamp) : std::nullopt;
    if (!servers || !*servers) {
        bool present = false;
        auto [read, known] = SourceCache::readStamped(path, [&]() -> std::optional<MCPServerMap> {
            const auto bytes = readSource(path, RegularFile::kLargeLimit, errors);
            present = bytes.has_value();
            auto config = bytes ? MCPConfig::decode(*bytes) : std::nullopt;
            return config ? std::optional(std::move(config->mcpServers)) : std::nullopt;
        });
        if (present && !read)
            errors.add(path, notReadable(path, QStringLiteral("it is not a JSON object with an object "
                                                              "\"mcpServers\" (truncated or malformed)")));
        // A file that did not read is read again next time, so its error is noted again.
        if (known && read)
            cache.keep(path, *known, read);
        servers = std::move(read);
    }
    return *servers ? MCPServerEntries::fromMap(**servers) : QList<MCPServerEntry>{};
}

// ~/.claude.json's view, decoded once per content: it can be tens of megabytes.
std::optional<ClaudeJson> readClaudeJson(const QString &path, Errors &errors)
{
    auto &cache = SourceCache::claudeJson();
    if (const auto stamp = FileStamp::of(path))
        if (auto cached = cache.find(path, *stamp); cached && *cached)
            return std::move(*cached);
    bool present = false;
    auto [view, known] = SourceCache::readStamped(path, [&]() -> std::optional<ClaudeJson> {
        const auto bytes = readSource(path, RegularFile::kLargeLimit, errors);
        present = bytes.has_value();
        return bytes ? ClaudeJson::decode(*bytes) : std::nullopt;
    });
    if (present && !view)
        errors.add(path,
                   notReadable(path, QStringLiteral("it is not a JSON object, or a server definition in "
                                                    "it has a member of the wrong type (truncated or "
                                                    "malformed)")));
    if (known && view)
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
                                const QList<MCPServerEntry> &liveInClaudeJson, Errors &errors)
{
    QStringList disabled;
    std::optional<QList<MCPServerEntry>> inMcpJson;
    for (const QString &name : record.disabled) {
        if (hasEntryNamed(liveInClaudeJson, name))
            continue;
        if (record.stashedConfigs.contains(name)) {
            if (!inMcpJson)
                inMcpJson = entriesOfConfigFile(path + QStringLiteral("/.mcp.json"), errors);
            if (hasEntryNamed(*inMcpJson, name))
                continue;
        }
        disabled.append(name);
    }
    return disabled;
}

QuorlaneProjectConfig readRecord(const QString &projectPath, const ProjectRecordFile::Listing &records,
                                 Errors &errors)
{
    QString error;
    QuorlaneProjectConfig record = ProjectRecordFile::loadForReading(projectPath, &records, &error);
    if (!error.isEmpty())
        errors.add(ProjectRecordFile::sidecarPath(projectPath), error);
    return record;
}

// Phase A: the projects ~/.claude.json knows, with the servers their records stashed.
// The .mcp.json servers found for a folder whose names it does not list yet.
void addProjectFileServers(QList<MCPServerEntry> &entries, const FolderChain::ProjectServers &found)
{
    for (const auto &[entry, file] : found)
        if (!hasEntryNamed(entries, entry.name))
            entries.append(entry);
}

void collectClaudeJsonProjects(const ClaudeJson &view, const QStringList &excludedNames,
                               const ProjectRecordFile::Listing &records, FolderChain &chain,
                               QList<MCPProject> &found, QSet<QString> &paths, Errors &errors)
{
    if (!view.projects)
        return;
    for (const auto &[path, project] : *view.projects) {
        if (excludedNames.contains(MCPProjects::lastPathComponent(path)) || paths.contains(path))
            continue;
        QList<MCPServerEntry> entries =
            project.mcpServers ? MCPServerEntries::fromMap(*project.mcpServers) : QList<MCPServerEntry>{};
        const QuorlaneProjectConfig record = readRecord(path, records, errors);
        MCPProject listed{path, path, {}, MCPSource::project, true, {}, {}, {}, {}, {}, {}};
        listed.disabled = effectivelyDisabled(record, path, entries, errors);
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
        addProjectFileServers(entries, chain.projectServers(path));
        // A folder whose only mark is a /mcp switch is listed, so the switch can be undone.
        if (entries.isEmpty() && project.disabledMcpServers.isEmpty())
            continue;
        MCPServerEntries::sortByName(entries);
        listed.servers = std::move(entries);
        found.append(std::move(listed));
        paths.insert(path);
    }
}

// Phase B: folders directly under ~/Projects, then directly under ~, that hold a .mcp.json.
void collectScannedProjects(const QStringList &excludedNames, const ProjectRecordFile::Listing &records,
                            FolderChain &chain, QList<MCPProject> &found, QSet<QString> &paths,
                            Errors &errors)
{
    const QString home = Paths::homeDirectory();
    for (const QString &root : {home + QStringLiteral("/Projects"), home}) {
        const QDir dir(root);
        const QStringList children = dir.entryList(
            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
        for (const QString &name : children) {
            const QString candidate = root + QLatin1Char('/') + name;
            const QString projectFile = candidate + QStringLiteral("/.mcp.json");
            // A link that loops or dangles is something there too: it is named, not passed over.
            const QFileInfo file(projectFile);
            if ((!file.exists() && !file.isSymLink()) || excludedNames.contains(name) ||
                paths.contains(candidate))
                continue;
            // Its own file read on its own first, so that one that cannot be read is named.
            QList<MCPServerEntry> entries = entriesOfConfigFile(projectFile, errors);
            if (entries.isEmpty())
                continue;
            addProjectFileServers(entries, chain.projectServers(candidate));
            MCPServerEntries::sortByName(entries);
            // The record's stash is not listed here; its "disabled" list still switches
            // .mcp.json servers off.
            MCPProject listed{
                candidate, candidate, std::move(entries), MCPSource::project, true, {}, {}, {}, {}, {}, {}};
            listed.disabled =
                effectivelyDisabled(readRecord(candidate, records, errors), candidate, {}, errors);
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

QList<MCPProject> loadProjects(const std::optional<ClaudeJson> &view, const QStringList &excludedNames,
                               QList<SourceError> *errors)
{
    FolderChain chain;
    return loadProjects(view, excludedNames, chain, errors);
}

QList<MCPProject> loadProjects(const std::optional<ClaudeJson> &view, const QStringList &excludedNames,
                               FolderChain &chain, QList<SourceError> *errors)
{
    Errors noted;
    QList<MCPProject> projects;
    QSet<QString> paths;
    const auto records = ProjectRecordFile::Listing::now();
    if (view) {
        collectClaudeJsonProjects(*view, excludedNames, records, chain, projects, paths, noted);
        // By path, so that projects whose folders share a name keep one order whatever the order
        // of the file (which the first rewrite sorts).
        std::sort(projects.begin(), projects.end(),
                  [](const MCPProject &a, const MCPProject &b) { return codePointLess(a.path, b.path); });
    }
    collectScannedProjects(excludedNames, records, chain, projects, paths, noted);

    // A project found by the scan can still have an entry in .claude.json that only switches
    // servers off (Claude Code's /mcp on a .mcp.json server), so every project looks its entry up.
    if (view && view->projects) {
        QHash<QString, const ClaudeJsonProject *> entries;
        for (const auto &[path, project] : *view->projects)
            entries.insert(path, &project);
        for (MCPProject &project : projects) {
            if (const ClaudeJsonProject *entry = entries.value(project.path))
                project.offInClaudeCode = entry->disabledMcpServers;
        }
    }
    MCPProjects::sortByLastComponent(projects);
    if (errors)
        *errors += noted.take();
    return projects;
}

LoadResult loadSnapshot(const ConfigPaths &paths, const QStringList &excludedNames)
{
    Errors errors;
    // The text (tens of megabytes) is let go before the next file is read.
    const std::optional<ClaudeJson> view = readClaudeJson(paths.claudeJsonPath, errors);

    const auto stashBytes = readSource(paths.disabledGlobalConfigPath, RegularFile::kSmallLimit, errors);
    std::optional<DisabledGlobalConfig> decoded =
        stashBytes ? DisabledGlobalConfig::decode(*stashBytes) : std::nullopt;
    if (stashBytes && !decoded)
        errors.add(paths.disabledGlobalConfigPath,
                   notReadable(paths.disabledGlobalConfigPath,
                               QStringLiteral("it is not a valid stash (truncated, or a member of the wrong "
                                              "type); switched-off servers are not listed")));
    const DisabledGlobalConfig stash = std::move(decoded).value_or(DisabledGlobalConfig{});

    const QList<MCPServerEntry> liveGlobal =
        (view && view->mcpServers) ? MCPServerEntries::fromMap(*view->mcpServers) : QList<MCPServerEntry>{};
    const QList<MCPServerEntry> liveDesktop = entriesOfLargeConfigFile(paths.desktopConfigPath, errors);

    LoadResult result;
    addStashedOnly(result.disabledIDs, stash.global, liveGlobal, MCPSource::global);
    addStashedOnly(result.disabledIDs, stash.desktop, liveDesktop, MCPSource::desktop);
    result.global = mergeStashed(liveGlobal, stash.global);
    result.desktop = mergeStashed(liveDesktop, stash.desktop);
    result.managed = entriesOfLargeConfigFile(paths.managedConfigPath, errors);
    result.errors = errors.take();
    FolderChain chain;
    result.projects = loadProjects(view, excludedNames, chain, &result.errors);
    ProjectLoads::attach(result, view, paths, chain);
    return result;
}

} // namespace ConfigLoader
