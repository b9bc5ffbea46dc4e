#include "switching/ProfilePlan.h"

#include "store/MCPConfigService.h"

#include <algorithm>

namespace {

void appendListed(QList<ProfileEntry> &state, const QList<MCPServerEntry> &servers, MCPSource source,
                  const QSet<GlobalServerID> &disabled)
{
    for (const MCPServerEntry &entry : servers)
        state.append({source, QString(), entry.name, !disabled.contains({entry.name, source})});
}

// Claude Code's own switch in the folder for each global and .mcp.json server a session there
// sees, whether or not Quorlane has that server on. A rejected .mcp.json server, one awaiting
// approval, a shadowed one and one the policy forbids have no such switch to record.
void appendClaudeCodeSwitches(QList<ProfileEntry> &state, const MCPProject &project)
{
    using ClaudeCodeRules::Scope;
    using ClaudeCodeRules::State;
    for (const ClaudeCodeRules::ServerLoad &load : project.loads) {
        if (load.scope != Scope::user && load.scope != Scope::project)
            continue;
        const bool offByMcp = project.offInClaudeCode.contains(load.entry.name);
        const bool switchable = load.state == State::on || load.state == State::off ||
                                (load.state == State::offInClaudeCode && offByMcp);
        if (switchable)
            state.append({MCPSource::project, project.path, load.entry.name, !offByMcp, true});
    }
}

} // namespace

QList<ProfileEntry> ProfilePlans::currentState(const MCPConfigService &config)
{
    QList<ProfileEntry> state;
    appendListed(state, config.globalServers(), MCPSource::global, config.disabledGlobalServers());
    appendListed(state, config.desktopServers(), MCPSource::desktop, config.disabledGlobalServers());
    for (const MCPProject &project : config.projects()) {
        for (const MCPServerEntry &entry : project.servers)
            state.append({MCPSource::project, project.path, entry.name, project.isServerEnabled(entry.name)});
        // A switched-off name whose stashed definition cannot be shown is still a switch.
        for (const QString &name : project.disabled) {
            const bool listed = std::any_of(project.servers.cbegin(), project.servers.cend(),
                                            [&](const MCPServerEntry &entry) { return entry.name == name; });
            if (!listed)
                state.append({MCPSource::project, project.path, name, false});
        }
        appendClaudeCodeSwitches(state, project);
    }
    return state;
}

ProfilePlan ProfilePlans::plan(const QList<ProfileEntry> &saved, const QList<ProfileEntry> &current)
{
    // Keyed, since a large home lists thousands of servers.
    const auto key = [](const ProfileEntry &entry) {
        return QStringList{MCPSources::toString(entry.source), entry.projectPath, entry.name,
                           entry.inClaudeCode ? QStringLiteral("claudeCode") : QString()}
            .join(QChar(0));
    };
    QHash<QString, bool> now;
    for (const ProfileEntry &entry : current)
        now.insert(key(entry), entry.enabled);
    QSet<QString> wanted;
    ProfilePlan plan;
    for (const ProfileEntry &entry : saved) {
        wanted.insert(key(entry));
        const auto found = now.constFind(key(entry));
        if (found == now.cend())
            plan.gone.append(entry);
        else if (*found != entry.enabled)
            plan.switches.append(switchFor(entry));
    }
    for (const ProfileEntry &entry : current)
        if (!wanted.contains(key(entry)))
            plan.appeared.append(entry);
    return plan;
}

ServerSwitch ProfilePlans::switchFor(const ProfileEntry &entry)
{
    ServerSwitch change{entry.name, entry.source, entry.projectPath, entry.enabled};
    // Nothing moves: the name goes into or out of the folder's "disabledMcpServers".
    if (entry.inClaudeCode)
        change.plan = ProjectSwitchPlan{false, true, std::nullopt};
    return change;
}

ProfileEntry ProfilePlans::entryOf(const ServerSwitch &change)
{
    const bool inClaudeCode = change.plan && change.plan->claudeCode && !change.plan->record;
    return {change.source, change.projectPath, change.name, change.enabled, inClaudeCode};
}

QString ProfilePlans::where(const ProfileEntry &entry)
{
    if (entry.inClaudeCode)
        return QStringLiteral("Claude Code\u2019s switch in %1").arg(entry.projectPath);
    return where(entry.source, entry.projectPath);
}

QString ProfilePlans::where(MCPSource source, const QString &projectPath)
{
    switch (source) {
    case MCPSource::desktop:
        return QStringLiteral("Claude Desktop");
    case MCPSource::project:
        return QStringLiteral("project %1").arg(projectPath);
    case MCPSource::global:
    case MCPSource::managed:
        break;
    }
    return QStringLiteral("global");
}
