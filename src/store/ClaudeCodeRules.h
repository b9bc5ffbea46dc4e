#pragma once

#include "store/MCPServerEntry.h"

#include <QObject>
#include <QSet>
#include <QStringList>

#include <nlohmann/json.hpp>

// What a Claude Code session started in a folder loads, as Claude Code 2.1.197 decides it. Found
// by running its own CLI (`claude mcp add/get/list`) against homes it wrote, and by reading its
// bundled code where the CLI does not tell:
//
// 1. Every .mcp.json from the folder up to / counts (a git work tree's root is no boundary); the
//    nearest file that defines a name wins it.
// 2. Precedence by name: local (the folder's entry in ~/.claude.json) beats an approved .mcp.json
//    server, which beats a user (global) server. A .mcp.json server that is pending or rejected
//    shadows nothing; neither does one whose definition is in no file Claude Code reads (switched
//    off in Quorlane) nor one the managed policy forbids.
// 3. A .mcp.json server is approved only by the folder's own record: the folder is trusted
//    ("hasTrustDialogAccepted" of its entry in ~/.claude.json) and the name is in
//    "enabledMcpjsonServers" or "enableAllProjectMcpServers" is true, in that entry, in
//    <folder>/.claude/settings.local.json (where the approval prompt writes, and where each start
//    moves older approvals out of ~/.claude.json) or in ~/.claude/settings.json.
//    "disabledMcpjsonServers" rejects it. A parent folder's trust or approval does not carry.
// 4. /mcp switches a name off for one folder by listing it in the folder's
//    "disabledMcpServers", for user, local and .mcp.json servers alike; it applies to the name
//    that wins. (`claude mcp list` ignores that list.)
// 5. Inside a git work tree the folder is filed under the work tree's root: the root's entry
//    holds the local servers, trust, approvals and /mcp switches (a subfolder's own entry is
//    merged into it at the next start, so both count until then). settings.local.json stays the
//    folder's own.
// 6. Managed: a managed-mcp.json that parses takes exclusive control: only its servers load.
//    managed-settings.json beside it may hold "deniedMcpServers", which always wins, and
//    "allowedMcpServers": absent allows everything, empty allows nothing. Entries name a server
//    by "serverName", "serverCommand" (command and arguments, exactly) or "serverUrl" (* matches
//    anything). A stdio server must match a command entry when the allow list has any, a remote
//    one a url entry when it has any, and otherwise its name must be allowed. Both lists apply
//    to managed servers too.
namespace ClaudeCodeRules {
Q_NAMESPACE

enum class Scope
{
    user,
    local,
    project,
    managed
};
Q_ENUM_NS(Scope)

enum class State
{
    on,
    off,              // switched off in Quorlane
    offInClaudeCode,  // /mcp, or a rejected .mcp.json server
    awaitingApproval, // a .mcp.json server Claude Code will ask about
    shadowed,         // a server of the same name from a winning scope loads instead
    offByPolicy       // the managed policy does not allow it
};
Q_ENUM_NS(State)

// The case's name: "user", "on", "offInClaudeCode", …
QString toString(Scope scope);
QString toString(State state);

// One server a session in a folder would see, with what becomes of it.
struct ServerLoad
{
    MCPServerEntry entry;
    Scope scope = Scope::user;
    State state = State::on;
    QString file; // the .mcp.json that defines it (project scope)

    bool operator==(const ServerLoad &) const = default;
};

// A folder's answer to Claude Code's question about its .mcp.json servers.
struct ProjectApproval
{
    bool trusted = false;
    bool enableAll = false;
    QStringList enabled;
    QStringList rejected;

    bool operator==(const ProjectApproval &) const = default;

    // Adds what a settings file (settings.local.json, ~/.claude/settings.json) says.
    void addSettings(const nlohmann::json &settings);

    enum class Answer
    {
        approved,
        pending,
        rejected
    };
    [[nodiscard]] Answer answerFor(const QString &name) const;
};

// The administrator's restrictions.
class ManagedPolicy
{
public:
    ManagedPolicy() = default;
    // From the managed settings file (nullopt: none) and whether managed-mcp.json took control.
    ManagedPolicy(const std::optional<nlohmann::json> &managedSettings, bool exclusive);

    [[nodiscard]] bool allows(const MCPServerEntry &entry, Scope scope) const;
    bool operator==(const ManagedPolicy &) const = default;

private:
    struct Rule
    {
        std::optional<QString> name;
        std::optional<QStringList> command;
        std::optional<QString> url;
        bool operator==(const Rule &) const = default;
    };
    static QList<Rule> rules(const nlohmann::json &list);
    static bool matches(const Rule &rule, const MCPServerEntry &entry);

    bool m_exclusive = false;
    std::optional<QList<Rule>> m_allowed;
    QList<Rule> m_denied;
};

// What defines servers for one folder, before the rules decide.
struct FolderServers
{
    QList<MCPServerEntry> user;
    QSet<QString> userOff; // stashed in Quorlane
    QList<MCPServerEntry> local;
    QSet<QString> localOff;
    QList<std::pair<MCPServerEntry, QString>> project; // nearest definition per name, its file
    QSet<QString> projectOff;
    QList<MCPServerEntry> managed;
    QStringList offInClaudeCode; // "disabledMcpServers"
    ProjectApproval approval;
};

// Every server of `servers` with its state, by name and then winner first.
[[nodiscard]] QList<ServerLoad> resolve(const FolderServers &servers, const ManagedPolicy &policy);

} // namespace ClaudeCodeRules
