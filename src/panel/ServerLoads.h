#pragma once

#include "store/ClaudeCodeRules.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <optional>

class TokenWeights;

// What the panel says about what a Claude Code session loads: why a server does not load, and
// what a session in a folder (or outside every project) carries per message.
namespace ServerLoads {

// Claude Code's /doctor warns when MCP tools take more than this per message.
constexpr qint64 heavyTokens = 25000;

// The load of `name` of `scope` among `loads`; nullptr when there is none.
[[nodiscard]] const ClaudeCodeRules::ServerLoad *find(const QList<ClaudeCodeRules::ServerLoad> &loads,
                                                      const QString &name, ClaudeCodeRules::Scope scope);

// Why `load` does not load, in a few words: "off in Claude Code", "awaiting approval", "shadowed
// by local", "blocked by policy"; empty for a server that loads or that Quorlane switched off
// (its switch says so).
[[nodiscard]] QString reason(const ClaudeCodeRules::ServerLoad &load,
                             const QList<ClaudeCodeRules::ServerLoad> &loads);
// The same in a sentence, for the tooltip.
[[nodiscard]] QString explanation(const ClaudeCodeRules::ServerLoad &load,
                                  const QList<ClaudeCodeRules::ServerLoad> &loads);

// What a session carries per message: the figures of the servers that load. A server never
// measured counts with the fallback 1500 and is counted as such.
struct SessionTokens
{
    qint64 total = 0;
    int servers = 0;    // servers that load
    int unmeasured = 0; // of them, counted with the fallback

    bool operator==(const SessionTokens &) const = default;
    [[nodiscard]] bool heavy() const { return total >= heavyTokens; }
};

[[nodiscard]] SessionTokens sessionTokens(const QList<ClaudeCodeRules::ServerLoad> &loads,
                                          const TokenWeights &weights);

// "A Claude Code session here carries about 14.2k tokens per message from 4 servers. One of
// them is not measured and counts as ~1.5k." `where` is "here" or "outside every project".
[[nodiscard]] QString sessionNote(const SessionTokens &tokens, const QString &where);

} // namespace ServerLoads
