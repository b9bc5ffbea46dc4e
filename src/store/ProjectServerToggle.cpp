#include "ProjectServerToggle.h"

#include "ClaudeJsonLock.h"
#include "ConfigMutation.h"
#include "JsonFile.h"
#include "JsonValues.h"
#include "StoreError.h"

namespace ProjectServerToggle {

namespace {

// The member at `key`, when it is a non-empty object.
nlohmann::json *nonEmptyObject(nlohmann::json &parent, const std::string &key)
{
    const auto it = parent.find(key);
    if (it == parent.end() || !it->is_object() || it->empty())
        return nullptr;
    return &*it;
}

// The member at `key` as an object, replacing anything else with a new empty one.
nlohmann::json &objectMember(nlohmann::json &parent, const std::string &key)
{
    auto &member = parent[key];
    if (!member.is_object())
        member = nlohmann::json::object();
    return member;
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

    auto root = JsonFile::readObject(claudeJsonPath);
    nlohmann::json *projects = root ? nonEmptyObject(*root, "projects") : nullptr;
    nlohmann::json *project = projects ? nonEmptyObject(*projects, projectPath.toStdString()) : nullptr;
    nlohmann::json *servers = project ? nonEmptyObject(*project, "mcpServers") : nullptr;
    const auto live = servers ? servers->find(name.toStdString()) : nlohmann::json::iterator{};
    if (!servers || live == servers->end()) {
        // Defined elsewhere (the project's .mcp.json): the record alone switches it off.
        record.recordDisable(name);
        return;
    }

    // The record can only hold the seven known definition keys with their declared types.
    // Taking out a definition it cannot hold would lose it, so the switch is refused and the
    // server stays on, defined where it was.
    const auto definition = MCPServerRaw::decode(*live);
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
    const QString sidecar = QuorlaneProjectConfig::sidecarPath(projectPath);
    const auto priorRecord = JsonFile::read(sidecar);
    record.save(projectPath);
    servers->erase(live);
    try {
        JsonFile::writeAtomically(claudeJsonPath, JsonFile::serializePretty(*root));
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
    auto root = JsonFile::readObject(claudeJsonPath);
    if (!root) {
        // Nowhere to put it back: the definition stays in the record's stash, its only copy,
        // and a later switch off and on puts it back once ~/.claude.json is readable again.
        return;
    }
    auto &project = objectMember(objectMember(*root, "projects"), projectPath.toStdString());
    objectMember(project, "mcpServers")[name.toStdString()] = definition;
    JsonFile::writeAtomically(claudeJsonPath, JsonFile::serializePretty(*root));
    // Removed only once it is back in ~/.claude.json; if writing failed, the caller does not
    // save the record and the sidecar keeps the definition.
    record.stashedConfigs.remove(name);
}

} // namespace ProjectServerToggle
