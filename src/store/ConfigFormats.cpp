#include "store/ConfigFormats.h"

#include "store/ClaudeJson.h"

#include "store/JsonFile.h"
#include "json/JsonValues.h"

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

std::optional<DisabledGlobalConfig::Bucket> decodeBucket(const JsonDocument &document, const char *key)
{
    const auto member = document.member(JsonDocument::root(), key);
    if (!member || document.kind(*member) != JsonDocument::Kind::object)
        return std::nullopt;
    DisabledGlobalConfig::Bucket bucket;
    bool ok = true;
    std::string scratch;
    document.forEachMember(*member, [&](JsonDocument::Index name, JsonDocument::Index definition) {
        auto value =
            ok ? RawJSON::fromDocument(document, definition, RawJSON::Numbers::byValue) : std::nullopt;
        ok = value.has_value();
        if (ok)
            bucket.insert_or_assign(std::string(document.string(name, scratch)), std::move(*value));
    });
    return ok ? std::optional(std::move(bucket)) : std::nullopt;
}

void appendBucket(std::string &out, const DisabledGlobalConfig::Bucket &bucket)
{
    out += '{';
    for (auto it = bucket.begin(); it != bucket.end(); ++it) {
        if (it != bucket.begin())
            out += ',';
        JsonDocument::appendEscaped(it->first, out);
        out += ':';
        it->second.appendText(out);
    }
    out += '}';
}

} // namespace

std::optional<DisabledGlobalConfig> DisabledGlobalConfig::decode(const QByteArray &bytes)
{
    const auto document = JsonDocument::parse(bytes);
    if (!document || document->kind(JsonDocument::root()) != JsonDocument::Kind::object)
        return std::nullopt;
    auto global = decodeBucket(*document, "global");
    auto desktop = decodeBucket(*document, "desktop");
    if (!global || !desktop)
        return std::nullopt;
    return DisabledGlobalConfig{std::move(*global), std::move(*desktop)};
}

QByteArray DisabledGlobalConfig::encode() const
{
    std::string text = "{\"desktop\":";
    appendBucket(text, desktop);
    text += ",\"global\":";
    appendBucket(text, global);
    text += '}';
    return QByteArray(text.data(), qsizetype(text.size()));
}
