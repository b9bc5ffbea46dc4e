// The toggle flows of the main panel: what happens after a switch is flipped.
#include "panel/PanelModel.h"
#include "platform/WhenDone.h"

#include "services/AppPreferences.h"
#include "store/MCPConfigService.h"

#include <QPointer>

#include <algorithm>

void PanelModel::toggleGlobal(int row, bool value)
{
    const QList<ServerRow> &rows = m_globalRows->rows();
    if (row < 0 || row >= rows.size())
        return;
    handleGlobalToggle(rows.at(row), value);
}

void PanelModel::toggleProject(int section, int row, bool value)
{
    const RowListModel *rows = m_projects->rowsAt(section);
    if (!rows || row < 0 || row >= rows->count())
        return;
    const ServerRow &server = rows->rows().at(row);
    const QString path = m_projects->pathAt(section);
    if (server.isLocked)
        return;
    if (server.inherited) {
        handleClaudeCodeToggle(server, path, value);
        return;
    }
    if (value && server.needsConfirmation) {
        m_pending = PendingToggle{server, path, value};
        Q_EMIT confirmationChanged();
        return;
    }
    handleProjectToggle(server, path, value);
}

void PanelModel::confirmPending()
{
    if (!m_pending)
        return;
    const PendingToggle pending = *std::exchange(m_pending, std::nullopt);
    Q_EMIT confirmationChanged();
    handleProjectToggle(pending.row, pending.projectPath, pending.value, true);
}

void PanelModel::cancelPending()
{
    if (std::exchange(m_pending, std::nullopt))
        Q_EMIT confirmationChanged();
}

void PanelModel::handleGlobalToggle(const ServerRow &row, bool value)
{
    if (row.source == MCPSource::managed || row.isLocked)
        return;
    setToggleError({});
    whenDone(runGlobalToggle(row.entry.name, row.source, value), this, [this] { Q_EMIT toggleFinished(); });
}

QCoro::Task<void> PanelModel::runGlobalToggle(QString name, MCPSource source, bool value)
{
    QPointer<PanelModel> self(this);
    const ServerSwitch change{name, source, QString(), value};
    QCoro::Task<QString> switching = runSwitch(change);
    const QString failure = co_await std::move(switching);
    if (!self)
        co_return;
    if (!failure.isEmpty()) {
        setToggleError(failure);
        co_return;
    }
    QCoro::Task<void> relaunching = relaunchAfterToggle({change});
    co_await std::move(relaunching);
}

void PanelModel::handleProjectToggle(const ServerRow &row, const QString &projectPath, bool value, bool trust)
{
    ServerSwitch change{row.entry.name, MCPSource::project, projectPath, value, trust};
    change.plan = mcpjsonPlan(row.entry.name, projectPath, value);
    startProjectSwitch(row, std::move(change));
}

const MCPProject *PanelModel::listedProject(const QString &projectPath) const
{
    const QList<MCPProject> &projects = m_services.config->projects();
    const auto found = std::find_if(projects.cbegin(), projects.cend(),
                                    [&](const MCPProject &listed) { return listed.path == projectPath; });
    return found == projects.cend() ? nullptr : &*found;
}

std::optional<ProjectSwitchPlan> PanelModel::mcpjsonPlan(const QString &name, const QString &projectPath,
                                                         bool value) const
{
    using ClaudeCodeRules::Scope;
    const MCPProject *project = listedProject(projectPath);
    // The folder's own definitions in ~/.claude.json move through the record alone.
    if (!project || project->fromClaudeJson.contains(name) || project->stashedOrigins.contains(name))
        return std::nullopt;
    const bool fromMcpjson =
        std::any_of(project->loads.cbegin(), project->loads.cend(), [&](const auto &load) {
            return load.entry.name == name && load.scope == Scope::project;
        });
    if (!fromMcpjson)
        return std::nullopt;
    // Claude Code does not read the record: a .mcp.json server is also switched in its own list
    // for the folder, as /mcp does, so that what the row shows is what a session loads.
    try {
        ProjectSwitchPlan plan = ProjectSwitchPlan::decide(*project, name, value);
        plan.record = true;
        plan.approval.reset(); // approving a server is the command line's, with --trust
        return plan;
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

void PanelModel::handleClaudeCodeToggle(const ServerRow &row, const QString &projectPath, bool value)
{
    setToggleError({});
    const MCPProject *project = listedProject(projectPath);
    if (!project)
        return;
    // A global server is switched for one folder where Claude Code's /mcp switches it.
    ServerSwitch change{row.entry.name, MCPSource::project, projectPath, value};
    try {
        change.plan = ProjectSwitchPlan::decide(*project, row.entry.name, value);
    } catch (const std::exception &error) {
        setToggleError(SwitchFlow::describe(error));
        return;
    }
    startProjectSwitch(row, std::move(change));
}

void PanelModel::startProjectSwitch(const ServerRow &row, ServerSwitch change)
{
    setToggleError({});
    const QString key = ServerRows::busyKey(change.projectPath, row.entry.name, row.source);
    if (m_busy.contains(key))
        return; // the row is still applying its previous flip
    m_busy.insert(key);
    rebuildNow();
    whenDone(runProjectToggle(std::move(change), key), this, [this] { Q_EMIT toggleFinished(); });
}

QCoro::Task<QString> PanelModel::runSwitch(ServerSwitch change) const
{
    // The flow is a copy: it outlives this model if the panel goes away meanwhile.
    const SwitchFlow flow = switchFlow();
    try {
        QCoro::Task<void> switching = flow.switchServer(std::move(change));
        co_await std::move(switching);
    } catch (const std::exception &error) {
        co_return SwitchFlow::describe(error);
    }
    co_return QString();
}

QCoro::Task<void> PanelModel::runProjectToggle(ServerSwitch change, QString busyKey)
{
    QPointer<PanelModel> self(this);
    // The row stays busy until the reload has published what the files now say (also after a
    // failure, which may have changed the record halfway), so its switch never jumps back.
    QCoro::Task<QString> switching = runSwitch(change);
    const QString failure = co_await std::move(switching);
    if (!self)
        co_return;
    m_busy.remove(busyKey);
    rebuildNow();
    if (!failure.isEmpty()) {
        setToggleError(failure);
        co_return;
    }
    QCoro::Task<void> relaunching = relaunchAfterToggle({change});
    co_await std::move(relaunching);
}

QCoro::Task<void> PanelModel::relaunchAfterToggle(QList<ServerSwitch> done)
{
    if (!m_services.prefs->autoRelaunch())
        co_return;
    const SwitchFlow flow = switchFlow();
    QCoro::Task<void> relaunching = flow.relaunchAfter(std::move(done));
    co_await std::move(relaunching);
}

SwitchFlow PanelModel::switchFlow() const
{
    return SwitchFlow(m_services.config, m_services.sessions, m_services.events);
}
