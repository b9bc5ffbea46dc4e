#pragma once

#include "store/ClaudeCodeRules.h"
#include "store/MCPServerEntry.h"

#include <QByteArray>
#include <QStringList>

#include "json/JsonDocument.h"
#include "json/RawJSON.h"

// The typed read view of ~/.claude.json: the global servers and each project's servers. Every
// other member is ignored here; the file is only ever rewritten through the untyped tree.
struct ClaudeJsonProject
{
    std::optional<MCPServerMap> mcpServers;
    // The servers of any scope switched off inside Claude Code (its /mcp) for this project. Only
    // shown, never written; a member of another shape reads as none rather than hiding the file.
    QStringList disabledMcpServers;
    // The user's decisions about the folder's .mcp.json servers, read in the same pass (only
    // shown and decided on, never written here).
    ClaudeCodeRules::ProjectApproval approval;
    bool operator==(const ClaudeJsonProject &) const = default;
};

// The definitions of an object of server name → definition, read from a parsed document: the
// last of duplicated names counts; nullopt when it is not an object or any definition fails.
std::optional<MCPServerMap> decodeServerMap(const JsonDocument &document, JsonDocument::Index object);

struct ClaudeJson
{
    std::optional<MCPServerMap> mcpServers;
    // Project path → project, in the order of the file.
    std::optional<QList<std::pair<QString, ClaudeJsonProject>>> projects;

    bool operator==(const ClaudeJson &) const = default;

    // Read as Claude Code reads it (JSON.parse: the last of duplicated keys wins, any depth,
    // lone surrogate escapes allowed). Nullopt when the bytes are not JSON, not UTF-8, or any
    // declared member has the wrong type anywhere in the file (one broken definition makes the
    // whole view unreadable).
    [[nodiscard]] static std::optional<ClaudeJson> decode(const QByteArray &bytes);
    [[nodiscard]] static std::optional<ClaudeJson> decode(const JsonDocument &document);

    // The view of the file after the untyped rewrite set (`definition`) or removed (nullopt) the
    // server `name` of the global servers (`projectPath` empty) or of a project, told without
    // reading the file again: a definition that does not decode makes the whole view
    // unreadable (nullopt). False when it cannot be told: the view was already unreadable.
    static bool applySwitch(std::optional<ClaudeJson> &view, const QString &projectPath, const QString &name,
                            const std::optional<RawJSON> &definition);
};

// The same for a map of definitions (the top-level "mcpServers" of a simple-layout file).
bool applySwitch(std::optional<MCPServerMap> &servers, const QString &name,
                 const std::optional<RawJSON> &definition);
