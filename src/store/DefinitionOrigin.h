#pragma once

#include <QString>

#include <optional>

// Where a switched-off definition was taken from. A definition that came from a file inside a
// project folder (a cloned repository may ship one) is the repository's, not the user's: it is
// never started to be measured and is put back only when the user says so explicitly.
enum class DefinitionOrigin
{
    claudeJsonGlobal,    // the "mcpServers" of ~/.claude.json
    claudeJsonLocal,     // a project entry of ~/.claude.json
    desktop,             // the Claude Desktop file
    projectMcpJson,      // a project's .mcp.json
    legacyProjectRecord, // a .claude.quorlane.json inside the project folder
    unknown              // a record written by an older Quorlane, which did not keep it
};

namespace DefinitionOrigins {

// Only definitions from the user's own files (never from inside a project folder, never of
// unknown origin) may run without the user's explicit word.
[[nodiscard]] bool isTrusted(DefinitionOrigin origin);

// The key written to a record ("claudeJsonLocal"…) and read back; nullopt for an unknown key.
[[nodiscard]] QString key(DefinitionOrigin origin);
[[nodiscard]] std::optional<DefinitionOrigin> fromKey(const QString &key);

// Where it came from, for messages: "a .claude.quorlane.json inside the project folder".
[[nodiscard]] QString describe(DefinitionOrigin origin);

} // namespace DefinitionOrigins
