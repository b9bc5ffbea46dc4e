#pragma once

#include "store/ClaudeCodeRules.h"
#include "store/DefinitionOrigin.h"
#include "store/MCPServerEntry.h"
#include "store/MCPSource.h"

#include <QStringList>

// One project directory with its servers, sorted by name.
struct MCPProject
{
    QString id;   // the project path, exactly as its source spells it
    QString path; // same as id
    QList<MCPServerEntry> servers;
    MCPSource source = MCPSource::project;
    bool isEnabled = true;
    // Names Claude Code itself has switched off for this project ("disabledMcpServers" of its
    // entry in .claude.json): Claude Code does not load them there, whatever Quorlane shows.
    QStringList offInClaudeCode;
    // Names of the project's servers that are off: in the record's "disabled" list and not live
    // in the project's entry of ~/.claude.json (a live definition is on, whatever the record says).
    QStringList disabled;
    // Servers listed from the record's stash (none is live), with where each definition came from.
    QMap<QString, DefinitionOrigin> stashedOrigins;
    // Every server a Claude Code session started in this folder sees, of every scope, with what
    // becomes of it there (ClaudeCodeRules).
    QList<ClaudeCodeRules::ServerLoad> loads;
    // Names of live servers read from the project's entry of ~/.claude.json: the user's own
    // definitions. Every other live server came from the folder's .mcp.json.
    QStringList fromClaudeJson;
    // Claude Code's answer about the .mcp.json servers a session here finds: trust and approvals
    // from every entry of ~/.claude.json the folder's session reads, its
    // .claude/settings.local.json and ~/.claude/settings.json (ClaudeCodeRules). Filled in with
    // `loads`; nothing approved for a folder without .mcp.json servers.
    ClaudeCodeRules::ProjectApproval approval;

    bool operator==(const MCPProject &) const = default;

    [[nodiscard]] bool isServerEnabled(const QString &name) const { return !disabled.contains(name); }
    // A stashed definition that came from inside the project folder (or from nobody knows where):
    // never started, and switched on only when the user says so explicitly.
    [[nodiscard]] bool isUntrusted(const QString &name) const
    {
        const auto origin = stashedOrigins.constFind(name);
        return origin != stashedOrigins.cend() && !DefinitionOrigins::isTrusted(*origin);
    }
};

namespace MCPProjects {

// The last component of the project's path ("app" for "/srv/work/app", "" for "/srv/work/").
QString lastPathComponent(const QString &path);

// By the last path component, in code-point order.
void sortByLastComponent(QList<MCPProject> &projects);

} // namespace MCPProjects
