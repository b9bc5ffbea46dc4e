#include "panel/ServerLoads.h"

#include "panel/ServerRow.h"

namespace ServerLoads {

using ClaudeCodeRules::Scope;
using ClaudeCodeRules::ServerLoad;
using ClaudeCodeRules::State;

namespace {

// The scope whose server of the same name loads instead; loads list the winner first.
std::optional<Scope> winnerOf(const ServerLoad &load, const QList<ServerLoad> &loads)
{
    for (const ServerLoad &other : loads)
        if (other.entry.name == load.entry.name && other.state == State::on)
            return other.scope;
    return std::nullopt;
}

QString scopeName(Scope scope)
{
    // The words of Claude Code's own /mcp list.
    return ClaudeCodeRules::toString(scope);
}

} // namespace

const ServerLoad *find(const QList<ServerLoad> &loads, const QString &name, Scope scope)
{
    for (const ServerLoad &load : loads)
        if (load.entry.name == name && load.scope == scope)
            return &load;
    return nullptr;
}

QString reason(const ServerLoad &load, const QList<ServerLoad> &loads)
{
    switch (load.state) {
    case State::on:
    case State::off:
        return {};
    case State::offInClaudeCode:
        return QStringLiteral("off in Claude Code");
    case State::awaitingApproval:
        return QStringLiteral("awaiting approval");
    case State::shadowed:
        if (const auto winner = winnerOf(load, loads))
            return QStringLiteral("shadowed by %1").arg(scopeName(*winner));
        return QStringLiteral("shadowed");
    case State::offByPolicy:
        return QStringLiteral("blocked by policy");
    }
    return {};
}

QString explanation(const ServerLoad &load, const QList<ServerLoad> &loads)
{
    switch (load.state) {
    case State::on:
    case State::off:
        return {};
    case State::offInClaudeCode:
        return load.scope == Scope::project
                   ? QStringLiteral(
                         "Declined in Claude Code for this folder: a session here does not load it.")
                   : QStringLiteral("Switched off for this folder with /mcp in Claude Code: a session here "
                                    "does not load it.");
    case State::awaitingApproval:
        return QStringLiteral("Claude Code asks before it loads this .mcp.json server here; until it is "
                              "approved a session here does not load it.");
    case State::shadowed:
        if (const auto winner = winnerOf(load, loads))
            return QStringLiteral("A %1 server of the same name loads here instead.").arg(scopeName(*winner));
        return QStringLiteral("A server of the same name loads here instead.");
    case State::offByPolicy:
        return QStringLiteral("The administrator's managed settings do not allow it: Claude Code does not "
                              "load it.");
    }
    return {};
}

SessionTokens sessionTokens(const QList<ServerLoad> &loads, const TokenWeights &weights)
{
    SessionTokens tokens;
    for (const ServerLoad &load : loads) {
        if (load.state != State::on)
            continue;
        ++tokens.servers;
        if (!weights.isMeasured(load.entry))
            ++tokens.unmeasured;
        tokens.total += weights.tokens(load.entry).value_or(ServerRows::fallbackTokens);
    }
    return tokens;
}

QString sessionNote(const SessionTokens &tokens, const QString &where)
{
    QString note =
        QStringLiteral("A Claude Code session %1 carries about %2 tokens per message from %3 %4.")
            .arg(where, ServerRows::formatTokens(tokens.total).mid(1), QString::number(tokens.servers),
                 tokens.servers == 1 ? QStringLiteral("server") : QStringLiteral("servers"));
    if (tokens.unmeasured == 1)
        note += QStringLiteral(" One of them is not measured and counts as %1.")
                    .arg(ServerRows::formatTokens(std::nullopt));
    else if (tokens.unmeasured > 1)
        note += QStringLiteral(" %1 of them are not measured and count as %2 each.")
                    .arg(QString::number(tokens.unmeasured), ServerRows::formatTokens(std::nullopt));
    if (tokens.heavy())
        note += QStringLiteral(" Claude Code's /doctor warns above 25,000.");
    return note;
}

} // namespace ServerLoads
