#pragma once

#include "panel/TokenWeights.h"
#include "probe/ProbeMessages.h"
#include "store/ClaudeCodeRules.h"
#include "store/MCPProject.h"
#include "store/MCPSource.h"

#include <QSet>
#include <QString>

#include <optional>

// What one row of the server list shows. Rows are values rebuilt from the services on every
// change; the list models compare them to decide which delegates to update.
struct ServerRow
{
    MCPServerEntry entry;
    MCPSource source = MCPSource::global;
    QString subtitle;                       // empty: a one-line row
    bool isEnabled = true;                  // the switch position and the dot colour
    bool probing = false;                   // a spinner instead of the token figure
    std::optional<qint64> tokensPerMessage; // absent shows the fallback figure
    bool isLocked = false;                  // managed: lock shown, switch dimmed and deaf
    bool busy = false;                      // a switch of this row is being applied
    QString note;                           // tooltip over the token figure (why it is not measured)
    bool needsConfirmation = false;         // switching on asks first (a definition we did not write)
    // What Claude Code makes of it where the row stands (outside every project in the global
    // section); nullopt for Claude Desktop, which Claude Code never loads.
    std::optional<ClaudeCodeRules::State> loadState;
    QString reason;      // why it does not load, in a few words; empty when it loads or is off
    QString explanation; // the same in a sentence
    // A global server listed in a project; its switch is Claude Code's /mcp switch for the folder.
    bool inherited = false;
    bool isExpanded = false; // its tools are shown below it
    QList<ToolTokens> tools; // heaviest first; filled only while expanded

    bool operator==(const ServerRow &) const = default;
    // A session loads it (Claude Desktop rows: Quorlane's switch alone decides).
    [[nodiscard]] bool loads() const
    {
        return isEnabled && (!loadState || *loadState == ClaudeCodeRules::State::on);
    }
    [[nodiscard]] bool heavy() const;
    // Rows of the global section are told apart by name and source, project rows by name.
    [[nodiscard]] QString identity() const { return entry.name + QChar(0x1f) + MCPSources::toString(source); }
};

// Inputs every row reads besides its own server.
struct RowContext
{
    const TokenWeights &weights; // figures, spinners, tools, rows the probe will not start
    QSet<QString> busy;          // ServerRows::busyKey of the rows whose switch is being applied
    QSet<QString> expanded;      // ServerRows::busyKey of the rows showing their tools
};

namespace ServerRows {

// The figure of a server never measured.
constexpr qint64 fallbackTokens = 1500;

// The second line: the row's subtitle and why it does not load, "Managed · blocked by policy".
[[nodiscard]] QString secondLine(const ServerRow &row);

// "~850", "~1.5k", "~1000.0k"; the fallback 1500 when there is no estimate.
[[nodiscard]] QString formatTokens(std::optional<qint64> tokens);

// What a screen reader says after a switch's name and state: the subtitle, "about 12.3 thousand
// tokens per message" (or that it is being measured), and whether the row is read-only.
[[nodiscard]] QString accessibleDescription(const ServerRow &row);

// "about 12.3 thousand tokens per message".
[[nodiscard]] QString spokenTokens(qint64 tokens);

// "3 of 5 servers on".
[[nodiscard]] QString spokenCount(qsizetype enabled, qsizetype total);

// "~/code/app" for a path under `home` (plain prefix test), else the path unchanged.
[[nodiscard]] QString abbreviatedPath(const QString &path, const QString &home);

// "3/5".
[[nodiscard]] QString countText(qsizetype enabled, qsizetype total);

// A key naming one row of one place: the project path (empty for the global section) and name.
[[nodiscard]] QString busyKey(const QString &projectPath, const QString &name, MCPSource source);

// Claude Desktop first, then global, then managed, each list in the order it arrives; global and
// managed rows with what a session outside every project makes of them (`loads`).
[[nodiscard]] QList<ServerRow>
globalRows(const QList<MCPServerEntry> &desktop, const QList<MCPServerEntry> &global,
           const QList<MCPServerEntry> &managed, const QSet<GlobalServerID> &disabled,
           const QList<ClaudeCodeRules::ServerLoad> &loads, const RowContext &context);

// The project's servers in their order, off when `disabled` names them, each with its state in
// the project's folder; then the global servers that do not load there although they load
// outside every project (switched off there with /mcp, shadowed, ...); then, with
// `loadingGlobals`, the global servers that load there.
[[nodiscard]] QList<ServerRow> projectRows(const MCPProject &project, const QSet<QString> &disabled,
                                           const QList<ClaudeCodeRules::ServerLoad> &outside,
                                           const RowContext &context, bool loadingGlobals = false);

// How many global servers load in the project's folder.
[[nodiscard]] qsizetype loadingGlobals(const MCPProject &project);

} // namespace ServerRows
