#include "ConfigFormats.h"

#include "ClaudeJson.h"

#include "JsonFile.h"
#include "JsonValues.h"

std::optional<MCPServerMap> decodeServerMap(const nlohmann::json &value)
{
    if (!value.is_object())
        return std::nullopt;
    MCPServerMap servers;
    for (const auto &[name, definition] : value.items()) {
        auto raw = MCPServerRaw::decode(definition);
        if (!raw)
            return std::nullopt;
        servers.insert(JsonValues::toQString(name), std::move(*raw));
    }
    return servers;
}

std::optional<MCPConfig> MCPConfig::decode(const nlohmann::json &value)
{
    if (!value.is_object())
        return std::nullopt;
    const auto member = value.find("mcpServers");
    if (member == value.end())
        return std::nullopt;
    auto servers = decodeServerMap(*member);
    if (!servers)
        return std::nullopt;
    return MCPConfig{std::move(*servers)};
}

// Read like ~/.claude.json (the last duplicate wins, any depth): the Claude Desktop file is
// switched through the same rewrite.
std::optional<MCPConfig> MCPConfig::decode(const QByteArray &bytes)
{
    const auto document = JsonDocument::parse(bytes);
    return document ? decode(*document) : std::nullopt;
}

std::optional<MCPConfig> MCPConfig::decode(const JsonDocument &document)
{
    if (document.kind(JsonDocument::root()) != JsonDocument::Kind::object)
        return std::nullopt;
    const auto member = document.member(JsonDocument::root(), "mcpServers");
    auto servers = member ? decodeServerMap(document, *member) : std::nullopt;
    if (!servers)
        return std::nullopt;
    return MCPConfig{std::move(*servers)};
}

nlohmann::json MCPConfig::encode() const
{
    nlohmann::json servers = nlohmann::json::object();
    for (auto it = mcpServers.cbegin(); it != mcpServers.cend(); ++it)
        servers[JsonValues::toStd(it.key())] = it.value().encode();
    return {{"mcpServers", servers}};
}

namespace {

std::optional<DisabledGlobalConfig::Bucket> decodeBucket(const nlohmann::json &root, const char *key)
{
    const auto member = root.find(key);
    if (member == root.end() || !member->is_object())
        return std::nullopt;
    DisabledGlobalConfig::Bucket bucket;
    for (const auto &[name, definition] : member->items())
        bucket.emplace(name, RawJSON::fromText(definition));
    return bucket;
}

nlohmann::json encodeBucket(const DisabledGlobalConfig::Bucket &bucket)
{
    nlohmann::json object = nlohmann::json::object();
    for (const auto &[name, definition] : bucket)
        object[name] = definition.toGeneric();
    return object;
}

} // namespace

std::optional<DisabledGlobalConfig> DisabledGlobalConfig::decode(const QByteArray &bytes)
{
    const auto root = JsonFile::parseObject(bytes);
    if (!root)
        return std::nullopt;
    auto global = decodeBucket(*root, "global");
    auto desktop = decodeBucket(*root, "desktop");
    if (!global || !desktop)
        return std::nullopt;
    return DisabledGlobalConfig{std::move(*global), std::move(*desktop)};
}

nlohmann::json DisabledGlobalConfig::encode() const
{
    return {{"global", encodeBucket(global)}, {"desktop", encodeBucket(desktop)}};
}
