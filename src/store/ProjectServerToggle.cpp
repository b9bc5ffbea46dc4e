#include "ProjectServerToggle.h"

#include "ClaudeJsonLock.h"
#include "ConfigMutation.h"
#include "JsonFile.h"
#include "JsonValues.h"
#include "StoreError.h"
#include "UntypedRewrite.h"

#include <nlohmann/json.hpp>

namespace ProjectServerToggle {

namespace {

// A definition nested deeper than any real one is refused rather than walked by recursion.
constexpr int kMaxDefinitionDepth = 256;

// The member at `key`, when it is a non-empty object.
std::optional<JsonDocument::Index> nonEmptyObject(const JsonDocument &document,
                                                  std::optional<JsonDocument::Index> parent,
                                                  const std::string &key)
{
    const auto member = parent ? document.member(*parent, key) : std::nullopt;
    if (!member || document.kind(*member) != JsonDocument::Kind::object || document.isEmpty(*member))
        return std::nullopt;
    return member;
}

std::optional<UntypedRewrite> readClaudeJson(const QString &path)
{
    const auto bytes = JsonFile::read(path);
    return bytes ? UntypedRewrite::parse(*bytes) : std::nullopt;
}

} // namespace

void disableProjectServer(const QString &claudeJsonPath, const QString &name, const QString &projectPath)
{
    QuorlaneProjectConfig record = QuorlaneProjectConfig::load(projectPath);
    if (record.disabled.contains(name))
        return;
    stashProjectServer(claudeJsonPath, name, projectPath, record);
    record.save(projectPath);
}

void enableProjectServer(const QString &claudeJsonPath, const QString &name, const QString &projectPath)
{
    QuorlaneProjectConfig record = QuorlaneProjectConfig::load(projectPath);
    if (!record.disabled.contains(name))
        return;
    restoreProjectServer(claudeJsonPath, name, projectPath, record);
    record.save(projectPath);
}

void stashProjectServer(const QString &claudeJsonPath, const QString &name, const QString &projectPath,
                        QuorlaneProjectConfig &record)
{
    ClaudeJsonLock lock(claudeJsonPath);
    lock.acquireBlocking();

    auto root = readClaudeJson(claudeJsonPath);
    const std::string key = name.toStdString();
    const std::string projectKey = projectPath.toStdString();
    std::optional<JsonDocument::Index> live;
    if (root) {
        const JsonDocument &document = root->document();
        const auto projects = nonEmptyObject(document, JsonDocument::root(), "projects");
        const auto project = nonEmptyObject(document, projects, projectKey);
        const auto servers = nonEmptyObject(document, project, "mcpServers");
        live = servers ? document.member(*servers, key) : std::nullopt;
    }
    if (!live) {
        // Defined elsewhere (the project's .mcp.json): the record alone switches it off.
        record.recordDisable(name);
        return;
    }

    // The record can only hold the seven known definition keys with their declared types.
    // Taking out a definition it cannot hold would lose it, so the switch is refused and the
    // server stays on, defined where it was.
    const auto generic = root->document().toGeneric(*live, kMaxDefinitionDepth);
    const auto definition = generic ? MCPServerRaw::decode(*generic) : std::nullopt;
    if (!definition)
        throw QuorlaneError(
            QStringLiteral("The definition of MCP server \u2018%1\u2019 in %2 cannot be kept while it "
                           "is switched off (a member has an unexpected type); it was left on.")
                .arg(name, claudeJsonPath));
    record.stashedConfigs.insert(name, *definition);
    record.recordDisable(name);

    // The record with the definition is written before the definition leaves ~/.claude.json,
    // so it exists in at least one file at every moment; if ~/.claude.json cannot be
    // rewritten, the record goes back to what it was.
    root->remove({"projects", projectKey, "mcpServers", key});
    const QByteArray rewritten = root->text(claudeJsonPath); // before any write: it can refuse
    const QString sidecar = QuorlaneProjectConfig::sidecarPath(projectPath);
    const auto priorRecord = JsonFile::read(sidecar);
    record.save(projectPath);
    try {
        JsonFile::writeAtomically(claudeJsonPath, rewritten);
    } catch (...) {
        ConfigMutation::restoreFile(priorRecord, sidecar);
        throw;
    }
}

void restoreProjectServer(const QString &claudeJsonPath, const QString &name, const QString &projectPath,
                          QuorlaneProjectConfig &record)
{
    record.recordEnable(name);
    const auto stashed = record.stashedConfigs.constFind(name);
    if (stashed == record.stashedConfigs.cend())
        return;
    const nlohmann::json definition = stashed->encode();

    ClaudeJsonLock lock(claudeJsonPath);
    lock.acquireBlocking();
    auto root = readClaudeJson(claudeJsonPath);
    if (!root) {
        // Nowhere to put it back: the definition stays in the record's stash, its only copy,
        // and a later switch off and on puts it back once ~/.claude.json is readable again.
        return;
    }
    // Objects on the way that are missing, or are not objects, become objects.
    root->set({"projects", projectPath.toStdString(), "mcpServers", name.toStdString()}, definition);
    JsonFile::writeAtomically(claudeJsonPath, root->text(claudeJsonPath));
    // Removed only once it is back in ~/.claude.json; if writing failed, the caller does not
    // save the record and the sidecar keeps the definition.
    record.stashedConfigs.remove(name);
}

} // namespace ProjectServerToggle
