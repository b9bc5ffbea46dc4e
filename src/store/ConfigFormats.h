#pragma once

#include "store/MCPServerEntry.h"
#include "json/JsonDocument.h"
#include "json/RawJSON.h"

#include <QByteArray>

// The simple layout of the Claude Desktop file, the managed file and project .mcp.json files:
// a required top-level "mcpServers" object.
struct MCPConfig
{
    MCPServerMap mcpServers;

    bool operator==(const MCPConfig &) const = default;

    [[nodiscard]] static std::optional<MCPConfig> decode(const nlohmann::json &value);
    [[nodiscard]] static std::optional<MCPConfig> decode(const QByteArray &bytes);
    [[nodiscard]] static std::optional<MCPConfig> decode(const JsonDocument &document);
    [[nodiscard]] nlohmann::json encode() const;
};

// A map of server definitions; nullopt when it is not an object or any definition fails.
std::optional<MCPServerMap> decodeServerMap(const nlohmann::json &value);

// The stash file: both buckets are required when reading and always written. Definitions are
// kept exactly as they were in the live file.
struct DisabledGlobalConfig
{
    using Bucket = std::map<std::string, RawJSON>;
    Bucket global;
    Bucket desktop;

    bool operator==(const DisabledGlobalConfig &) const = default;

    // Read like the live file (any depth, the last duplicate wins, numbers and escapes kept);
    // nullopt when a bucket is missing or a definition nests deeper than RawJSON::kMaxDepth.
    [[nodiscard]] static std::optional<DisabledGlobalConfig> decode(const QByteArray &bytes);
    // Compact text, every definition as held.
    [[nodiscard]] QByteArray encode() const;
};
