#include "store/ProjectSwitchPlan.h"

#include "platform/QuorlaneError.h"
#include "store/ClaudeCodeSwitch.h"
#include "store/LocalSettingsApproval.h"
#include "store/MCPConfigMutationError.h"
#include "store/ProjectServerToggle.h"

using ClaudeCodeRules::Scope;
using ClaudeCodeRules::ServerLoad;
using ClaudeCodeRules::State;

namespace {

bool isRejected(const MCPProject &project, const ServerLoad &load)
{
    return load.scope == Scope::project &&
           project.approval.answerFor(load.entry.name) == ClaudeCodeRules::ProjectApproval::Answer::rejected;
}

// Loads in Claude Code now, or once what wins the name now is switched off.
bool wouldLoad(const MCPProject &project, const ServerLoad &load)
{
    if (load.state == State::on || load.state == State::shadowed)
        return true;
    // Switched off by the record alone, as older versions did: Claude Code still loads it.
    return load.state == State::off && load.scope == Scope::project &&
           project.approval.answerFor(load.entry.name) == ClaudeCodeRules::ProjectApproval::Answer::approved;
}

} // namespace

QString whatItRuns(const MCPServerEntry &entry)
{
    if (!entry.command.isEmpty())
        return (QStringList{entry.command} + entry.args.value_or(QStringList{})).join(QLatin1Char(' '));
    return entry.url.value_or(QString());
}

ProjectSwitchPlan ProjectSwitchPlan::decide(const MCPProject &project, const QString &name, bool enabled)
{
    QList<ServerLoad> named;
    for (const ServerLoad &load : project.loads)
        if (load.entry.name == name)
            named.append(load);
    const bool inRecord = project.disabled.contains(name) || project.stashedOrigins.contains(name);
    const bool listed = std::any_of(project.servers.cbegin(), project.servers.cend(),
                                    [&](const MCPServerEntry &entry) { return entry.name == name; });
    if (named.isEmpty() && !inRecord && !listed)
        throw MCPConfigMutationError::serverNotFound(name);

    ProjectSwitchPlan plan;
    if (!enabled) {
        const bool ownLocal = project.fromClaudeJson.contains(name);
        plan.record = ownLocal;
        // Anything else of that name that would load (a user server the stashed local one
        // shadows, say) is switched off by name, as /mcp does.
        plan.claudeCode = std::any_of(named.cbegin(), named.cend(), [&](const ServerLoad &load) {
            return !(ownLocal && load.scope == Scope::local) && wouldLoad(project, load);
        });
        return plan;
    }
    plan.record = inRecord;
    plan.claudeCode = project.offInClaudeCode.contains(name) ||
                      std::any_of(named.cbegin(), named.cend(), [&](const ServerLoad &load) {
                          return load.state == State::offInClaudeCode && !isRejected(project, load);
                      });
    const bool loads = std::any_of(named.cbegin(), named.cend(),
                                   [](const ServerLoad &load) { return load.state == State::on; });
    if (plan.record || plan.claudeCode || loads)
        return plan;
    for (const ServerLoad &load : std::as_const(named))
        if (load.state == State::awaitingApproval || isRejected(project, load)) {
            plan.approval = load;
            return plan;
        }
    if (std::any_of(named.cbegin(), named.cend(),
                    [](const ServerLoad &load) { return load.state == State::offByPolicy; }))
        throw QuorlaneError(
            QStringLiteral("MCP server \u2018%1\u2019 is not allowed in %2 by the administrator's "
                           "managed policy; Quorlane cannot switch it on.")
                .arg(name, project.path));
    return plan;
}

QCoro::Task<void> ProjectSwitchPlan::apply(ProjectSwitchPlan plan, QString claudeJsonPath, QString name,
                                           QString projectPath, bool enabled, bool trust)
{
    // Refused before anything is written.
    if (plan.approval && !trust) {
        const ServerLoad &load = *plan.approval;
        const bool rejected = load.state == State::offInClaudeCode;
        throw QuorlaneError(
            QStringLiteral(
                "MCP server \u2018%1\u2019 of %2 %3 in Claude Code. Switching it on approves it for "
                "%4, and Claude Code then runs: %5\nIf you trust it, run the command again with "
                "--trust: that adds \u2018%1\u2019 to \"enabledMcpjsonServers\" in %6, as Claude "
                "Code's own approval prompt does.")
                .arg(name, load.file,
                     rejected ? QStringLiteral("was rejected") : QStringLiteral("waits for approval"),
                     projectPath, whatItRuns(load.entry), LocalSettingsApproval::pathFor(projectPath)));
    }
    if (plan.record) {
        QCoro::Task<void> switching =
            enabled ? ProjectServerToggle::enableProjectServer(claudeJsonPath, name, projectPath, trust)
                    : ProjectServerToggle::disableProjectServer(claudeJsonPath, name, projectPath);
        co_await std::move(switching);
    }
    if (plan.claudeCode) {
        QCoro::Task<void> switching = ClaudeCodeSwitch::setOff(claudeJsonPath, name, projectPath, !enabled);
        co_await std::move(switching);
    }
    if (plan.approval)
        LocalSettingsApproval::approve(projectPath, name);
}
