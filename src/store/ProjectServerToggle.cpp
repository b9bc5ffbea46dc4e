#include "store/ProjectServerToggle.h"

#include "platform/QuorlaneError.h"
#include "store/AtomicFile.h"
#include "store/ClaudeJsonLock.h"
#include "store/ConfigMutation.h"
#include "store/JsonFile.h"
#include "store/MCPServerRaw.h"
#include "store/ProjectRecordFile.h"
#include "store/QuorlaneLock.h"
#include "store/SourceCache.h"
#include "store/SwitchInProgress.h"
#include "store/UntypedRewrite.h"

#include <nlohmann/json.hpp>

#include <QFileInfo>

namespace ProjectServerToggle {

namespace {

// Claude Code writes ~/.claude.json even when it finds its lock held: a change between our read
// and our rename is redone on the new content this many times.
constexpr int kMaxAttempts = 5;

// ~/.claude.json's bytes and parsed text; `root` is nullopt when the file is missing or not an
// object.
struct UserFile
{
    std::optional<QByteArray> bytes;
    std::optional<UntypedRewrite> root;
    std::optional<FileStamp> stamp; // when the file held still while it was read
};

UserFile readUserFile(const QString &path)
{
    UserFile file;
    file.stamp = FileStamp::of(path);
    file.bytes = JsonFile::readIfExists(path);
    if (file.stamp != FileStamp::of(path))
        file.stamp.reset();
    if (file.bytes)
        file.root = UntypedRewrite::parse(*file.bytes);
    return file;
}

// The loader's view of the file once the switch is written, worked out from the view of the
// file read (kept by the loader, or decoded from the parsed text) while that is at hand.
std::function<void(const KnownStamp &)> viewAfter(const QString &path, const UserFile &file,
                                                  const QString &projectPath, const QString &name,
                                                  const std::optional<RawJSON> &definition)
{
    auto cached = file.stamp ? SourceCache::claudeJson().find(path, *file.stamp) : std::nullopt;
    std::optional<ClaudeJson> view = cached ? std::move(*cached) : ClaudeJson::decode(file.root->document());
    if (!ClaudeJson::applySwitch(view, projectPath, name, definition))
        return {};
    return [path, view](const KnownStamp &known) { SourceCache::claudeJson().keep(path, known, view); };
}

// The rewrite, streamed beside the file and synced; nothing changes at the path yet.
std::unique_ptr<AtomicFile::Replacement> writeBeside(const QString &path, std::optional<UntypedRewrite> &root)
{
    auto replacement = std::make_unique<AtomicFile::Replacement>(path);
    root->writeTo(*replacement, path);
    root.reset(); // the index of a large file is not needed past this point
    return replacement;
}

// Puts the rewrite in place unless the file changed since it was read; then hands the view of it
// to the loader.
bool commit(AtomicFile::Replacement &replacement, const UserFile &file,
            const std::function<void(const KnownStamp &)> &keepView)
{
    if (!replacement.commitIfUnchanged(*file.bytes))
        return false;
    if (keepView && replacement.placedStamp())
        keepView(*replacement.placedStamp());
    return true;
}

std::vector<std::string> serverPath(const QString &projectPath, const QString &name)
{
    return {"projects", projectPath.toStdString(), "mcpServers", name.toStdString()};
}

// The definition's place in the project's "mcpServers", when that is an object holding it.
std::optional<JsonDocument::Index> liveDefinition(const UserFile &file, const QString &projectPath,
                                                  const QString &name)
{
    if (!file.root)
        return std::nullopt;
    const auto servers = file.root->find({"projects", projectPath.toStdString(), "mcpServers"});
    if (!servers || file.root->document().kind(*servers) != JsonDocument::Kind::object)
        return std::nullopt;
    return file.root->document().member(*servers, name.toStdString());
}

bool isLiveIn(const UserFile &file, const QString &projectPath, const QString &name)
{
    return liveDefinition(file, projectPath, name).has_value();
}

// The same for the file as it is now, told from the loader's view of it while the file has not
// changed since (a view that read at all holds every definition of the file).
bool isLiveNow(const QString &path, const QString &projectPath, const QString &name)
{
    const auto stamp = FileStamp::of(path);
    const auto view = stamp ? SourceCache::claudeJson().find(path, *stamp) : std::nullopt;
    if (!view || !*view)
        return isLiveIn(readUserFile(path), projectPath, name);
    for (const auto &[key, project] :
         (*view)->projects.value_or(QList<std::pair<QString, ClaudeJsonProject>>{}))
        if (key == projectPath)
            return project.mcpServers && project.mcpServers->contains(name);
    return false;
}

bool isInMcpJson(const QString &projectPath, const QString &name)
{
    // Read as the loader reads it: a lone surrogate or a deep member elsewhere is no reason to
    // think the server is not there.
    const auto bytes = JsonFile::read(projectPath + QStringLiteral("/.mcp.json"), RegularFile::kSmallLimit);
    const auto document = bytes ? JsonDocument::parse(*bytes) : std::nullopt;
    if (!document || document->kind(JsonDocument::root()) != JsonDocument::Kind::object)
        return false;
    const auto servers = document->member(JsonDocument::root(), "mcpServers");
    return servers && document->kind(*servers) == JsonDocument::Kind::object &&
           document->member(*servers, name.toStdString());
}

// What a refused definition would run: its command line, or its URL.
QString whatItRuns(const RawJSON &definition)
{
    const auto raw = MCPServerRaw::decode(definition.toGeneric());
    if (raw && raw->command && !raw->command->isEmpty())
        return (QStringList{*raw->command} + raw->args.value_or(QStringList{})).join(QLatin1Char(' '));
    if (raw && raw->url)
        return *raw->url;
    return QString::fromUtf8(JsonFile::serializeCompact(definition.toGeneric()));
}

// Takes the definition out of ~/.claude.json, the record with it written first. False when the
// definition is no longer in the file (someone removed it meanwhile).
QCoro::Task<bool> takeOut(QString claudeJsonPath, QString name, QString projectPath,
                          QuorlaneProjectConfig record)
{
    ClaudeJsonLock claudeLock(claudeJsonPath);
    co_await claudeLock.acquire();
    const QString sidecar = ProjectRecordFile::sidecarPath(projectPath);
    // Read while holding the QuorlaneLock: no other Quorlane can have changed it since.
    const auto priorRecord = JsonFile::readIfExists(sidecar, RegularFile::kSmallLimit);
    for (int attempt = 1; attempt <= kMaxAttempts; ++attempt) {
        UserFile file = readUserFile(claudeJsonPath);
        const auto live = liveDefinition(file, projectPath, name);
        if (!live)
            co_return false;
        auto definition = RawJSON::fromDocument(file.root->document(), *live, RawJSON::Numbers::byForm);
        if (!definition)
            throw QuorlaneError(QStringLiteral("The definition of MCP server \u2018%1\u2019 in %2 nests more "
                                               "than %3 levels deep, deeper than Quorlane keeps a "
                                               "switched-off definition; it was left on.")
                                    .arg(name, claudeJsonPath)
                                    .arg(RawJSON::kMaxDepth));
        const auto keepView = viewAfter(claudeJsonPath, file, projectPath, name, std::nullopt);
        file.root->remove(serverPath(projectPath, name));
        // Written out before the record is touched: a file that cannot be rewritten changes nothing.
        const auto rewritten = writeBeside(claudeJsonPath, file.root);
        QuorlaneProjectConfig changed = record;
        changed.stashedConfigs.insert(name, {std::move(*definition), DefinitionOrigin::claudeJsonLocal});
        changed.recordDisable(name);
        // The record first: the definition must exist in at least one file at every moment.
        ProjectRecordFile::save(changed, projectPath);
        bool written = false;
        try {
            written = commit(*rewritten, file, keepView);
        } catch (...) {
            ConfigMutation::restoreFile(priorRecord, sidecar);
            throw;
        }
        if (written)
            co_return true;
        // Another program rewrote ~/.claude.json: the record goes back and the edit is redone.
        ConfigMutation::restoreFile(priorRecord, sidecar);
        claudeLock.refresh();
    }
    throw FileSystemError(QStringLiteral("%1 kept changing while the server was being switched off; nothing "
                                         "was changed.")
                              .arg(claudeJsonPath));
}

// Puts the definition back into the project's entry of ~/.claude.json (created when missing).
QCoro::Task<void> putBack(QString claudeJsonPath, QString name, QString projectPath, RawJSON definition)
{
    ClaudeJsonLock claudeLock(claudeJsonPath);
    co_await claudeLock.acquire();
    for (int attempt = 1; attempt <= kMaxAttempts; ++attempt) {
        UserFile file = readUserFile(claudeJsonPath);
        if (!file.root)
            throw FileSystemError(
                QStringLiteral("%1 could not be read as a JSON object; MCP server \u2018%2\u2019 "
                               "stays off and its definition stays with Quorlane.")
                    .arg(claudeJsonPath, name));
        const auto keepView = viewAfter(claudeJsonPath, file, projectPath, name, definition);
        // Objects on the way that are missing, or are not objects, become objects.
        file.root->set(serverPath(projectPath, name), definition);
        const auto rewritten = writeBeside(claudeJsonPath, file.root);
        if (commit(*rewritten, file, keepView))
            co_return;
        claudeLock.refresh();
    }
    throw FileSystemError(
        QStringLiteral("%1 kept changing while the server was being switched on; nothing was "
                       "changed.")
            .arg(claudeJsonPath));
}

} // namespace

QCoro::Task<void> disableProjectServer(QString claudeJsonPath, QString name, QString projectPath)
{
    const SwitchInProgress::Scope switching; // outlives both locks
    QuorlaneLock lock;
    co_await lock.acquire();
    QuorlaneProjectConfig record = ProjectRecordFile::loadForChange(projectPath);
    // Only whether it is live is kept: the switch reads the file again under Claude Code's lock,
    // and two copies of a large file would double the peak memory.
    if (isLiveNow(claudeJsonPath, projectPath, name)) {
        // A definition live in ~/.claude.json is on whatever the record says, and the live one
        // is newer than any stashed one.
        auto takingOut = takeOut(claudeJsonPath, name, projectPath, record);
        if (co_await std::move(takingOut))
            co_return;
    }
    if (record.disabled.contains(name))
        co_return;
    // Defined elsewhere (the project's .mcp.json): the record alone switches it off, and
    // Claude Code's lock is not needed.
    record.recordDisable(name);
    ProjectRecordFile::save(record, projectPath);
}

QCoro::Task<void> enableProjectServer(QString claudeJsonPath, QString name, QString projectPath, bool trust)
{
    const SwitchInProgress::Scope switching; // outlives both locks
    QuorlaneLock lock;
    co_await lock.acquire();
    QuorlaneProjectConfig record = ProjectRecordFile::loadForChange(projectPath);
    const auto stashed = record.stashedConfigs.constFind(name);
    const bool hasStash = stashed != record.stashedConfigs.cend();
    if (!record.disabled.contains(name) && !hasStash)
        co_return;
    const bool live =
        isLiveNow(claudeJsonPath, projectPath, name) || (hasStash && isInMcpJson(projectPath, name));
    if (hasStash && !live) {
        if (!trust && !DefinitionOrigins::isTrusted(stashed->origin))
            throw QuorlaneError(
                QStringLiteral(
                    "MCP server \u2018%1\u2019 was not switched off by you: its definition came from "
                    "%2. Switching it on lets Claude Code run: %3\nIf you trust it, run the "
                    "command again with --trust.")
                    .arg(name, DefinitionOrigins::describe(stashed->origin),
                         whatItRuns(stashed->definition)));
        // Back in ~/.claude.json first: until the record drops it, the definition is in both.
        auto puttingBack = putBack(claudeJsonPath, name, projectPath, stashed->definition);
        co_await std::move(puttingBack);
    }
    // A live definition is the user's newer one: the stale stashed one goes.
    record.stashedConfigs.remove(name);
    record.recordEnable(name);
    ProjectRecordFile::save(record, projectPath);
}

} // namespace ProjectServerToggle
