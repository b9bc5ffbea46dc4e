#include "switching/SwitchFlow.h"

#include "platform/QuorlaneError.h"
#include "services/ToggleEvents.h"
#include "sessions/SessionManager.h"
#include "store/MCPConfigService.h"
#include "store/OffThread.h"
#include "store/ProjectServerToggle.h"

#include <QPointer>
#include <QSet>

namespace {

constexpr double relaunchDelaySeconds = 1.5;

} // namespace

SwitchFlow::SwitchFlow(MCPConfigService *config, SessionManager *sessions, ToggleEvents *events)
    : m_config(config), m_sessions(sessions), m_events(events)
{}

void SwitchFlow::announce(const ServerSwitch &change) const
{
    if (m_events)
        m_events->post(change.name, change.source == MCPSource::project ? change.projectPath : QString(),
                       change.enabled);
}

QString SwitchFlow::describe(const std::exception &error)
{
    if (const auto *quorlane = dynamic_cast<const QuorlaneError *>(&error))
        return quorlane->description();
    return QString::fromUtf8(error.what());
}

QCoro::Task<void> SwitchFlow::switchServer(ServerSwitch change, bool reloadAfter) const
{
    // Copied before the first suspension: the flow object itself may be a temporary.
    const SwitchFlow flow = *this;
    QPointer<MCPConfigService> config(m_config);
    if (change.source != MCPSource::project) {
        // setServer reloads the lists itself. In a statement of its own: GCC 12 destroys a
        // co_await expression's temporaries twice.
        QCoro::Task<void> switching = config->setServer(change.name, change.source, change.enabled, {});
        co_await std::move(switching);
        flow.announce(change);
        co_return;
    }
    // On a worker: reading, parsing and rewriting a large ~/.claude.json takes far longer than a
    // frame, and the switch may wait seconds for another Quorlane's or Claude Code's lock. The
    // worker gets copies only.
    const QString claudeJson = config->paths().claudeJsonPath;
    std::exception_ptr failure;
    try {
        QCoro::Task<void> switching = OffThread::run([claudeJson, change] {
            if (change.plan)
                return ProjectSwitchPlan::apply(*change.plan, claudeJson, change.name, change.projectPath,
                                                change.enabled, change.trust);
            return change.enabled ? ProjectServerToggle::enableProjectServer(claudeJson, change.name,
                                                                             change.projectPath, change.trust)
                                  : ProjectServerToggle::disableProjectServer(claudeJson, change.name,
                                                                              change.projectPath);
        });
        co_await std::move(switching);
    } catch (...) {
        failure = std::current_exception();
    }
    // The switch happened whether or not whoever asked for it is still there to show it.
    if (!failure)
        flow.announce(change);
    if (reloadAfter) {
        QCoro::Task<void> reloading = flow.reload();
        co_await std::move(reloading);
    }
    if (failure)
        std::rethrow_exception(failure);
}

QCoro::Task<SwitchFlow::BatchResult> SwitchFlow::run(Batch batch) const
{
    // Copied before the first suspension: the flow object itself may be a temporary.
    const SwitchFlow flow = *this;
    QPointer<MCPConfigService> config(m_config);
    BatchResult result;
    bool projectSwitched = false;
    const QList<ServerSwitch> &switches = batch.switches;
    for (qsizetype next = 0; next < switches.size() && !result.failure;) {
        if (switches.at(next).source == MCPSource::project) {
            const ServerSwitch &change = switches.at(next++);
            if (batch.progress)
                batch.progress(change);
            projectSwitched = true;
            try {
                QCoro::Task<void> switching = flow.switchServer(change, false);
                co_await std::move(switching);
                ++result.done;
            } catch (const std::exception &error) {
                result.failure = describe(error);
            }
            continue;
        }
        // A run of global and Claude Desktop switches goes through one lock and one reload.
        QList<MCPConfigService::GlobalSwitch> globals;
        for (; next < switches.size() && switches.at(next).source != MCPSource::project; ++next)
            globals.append({switches.at(next).name, switches.at(next).source, switches.at(next).enabled});
        if (!config)
            break;
        auto announceBefore = [&batch, &switches,
                               index = result.done](const MCPConfigService::GlobalSwitch &) mutable {
            if (batch.progress)
                batch.progress(switches.at(index));
            ++index;
        };
        QCoro::Task<MCPConfigService::SwitchesOutcome> switching =
            config->setServers(globals, announceBefore);
        const MCPConfigService::SwitchesOutcome outcome = co_await std::move(switching);
        for (qsizetype i = 0; i < outcome.done; ++i)
            flow.announce({globals.at(i).name, globals.at(i).source, QString(), globals.at(i).enabled});
        result.done += outcome.done;
        if (outcome.error) {
            try {
                std::rethrow_exception(outcome.error);
            } catch (const std::exception &error) {
                result.failure = describe(error);
            }
        }
    }
    if (projectSwitched) {
        QCoro::Task<void> reloading = flow.reload();
        co_await std::move(reloading);
    }
    if (batch.relaunch && result.done > 0) {
        QCoro::Task<void> relaunching = flow.relaunchAfter(batch.switches.first(result.done));
        co_await std::move(relaunching);
    }
    co_return result;
}

QCoro::Task<void> SwitchFlow::relaunchAfter(QList<ServerSwitch> done) const
{
    QPointer<SessionManager> sessions(m_sessions);
    if (done.isEmpty() || !sessions)
        co_return;
    QCoro::Task<void> refreshing = sessions->refreshSessions();
    co_await std::move(refreshing);
    if (!sessions)
        co_return;
    // A global switch reaches every session; a project switch only the sessions in that project.
    const bool everyone = std::any_of(done.cbegin(), done.cend(), [](const ServerSwitch &change) {
        return change.source != MCPSource::project;
    });
    if (everyone) {
        sessions->relaunch(sessions->sessionSnapshots(), relaunchDelaySeconds);
        co_return;
    }
    QList<ClaudeSession> concerned;
    QSet<qint64> picked;
    QSet<QString> projects;
    for (const ServerSwitch &change : std::as_const(done)) {
        if (projects.contains(change.projectPath))
            continue;
        projects.insert(change.projectPath);
        for (const ClaudeSession &session : sessions->sessionsInProject(change.projectPath)) {
            if (!picked.contains(session.pid)) {
                picked.insert(session.pid);
                concerned.append(session);
            }
        }
    }
    sessions->relaunch(concerned, relaunchDelaySeconds);
}

QCoro::Task<void> SwitchFlow::reload() const
{
    QPointer<MCPConfigService> config(m_config);
    if (!config)
        co_return;
    try {
        // The default cancellation in a statement of its own: GCC 12 destroys the temporaries of
        // a co_await expression twice.
        QCoro::Task<void> reloading = config->reload(CancellationPtr());
        co_await std::move(reloading);
    } catch (...) {
        // The lists stay as last published; the file watcher's next reload tries again.
    }
}
