// The toggle flows of the main panel: what happens after a switch is flipped.
#include "PanelModel.h"
#include "WhenDone.h"

#include "app/AppPreferences.h"
#include "probe/ToggleEvents.h"
#include "sessions/SessionManager.h"
#include "store/MCPConfigService.h"
#include "store/OffThread.h"
#include "store/ProjectServerToggle.h"
#include "store/StoreError.h"

#include <QPointer>

namespace {

constexpr double relaunchDelaySeconds = 1.5;

QString describe(const std::exception &error)
{
    if (const auto *quorlane = dynamic_cast<const QuorlaneError *>(&error))
        return quorlane->description();
    return QString::fromUtf8(error.what());
}

} // namespace

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
    QString failure;
    try {
        // setServer reloads the lists itself; the rows follow when they are republished.
        // In a statement of its own: GCC 12 destroys a co_await expression's temporaries twice.
        QCoro::Task<void> switching = m_services.config->setServer(name, source, value, CancellationPtr());
        co_await std::move(switching);
    } catch (const std::exception &error) {
        failure = describe(error);
    }
    // The switch happened whether or not the panel is still there to show it.
    if (failure.isEmpty())
        ToggleEvents::post(name, QString(), value);
    if (!self)
        co_return;
    if (!failure.isEmpty()) {
        setToggleError(failure);
        co_return;
    }
    QCoro::Task<void> relaunching = relaunchAfterToggle(std::nullopt);
    co_await std::move(relaunching);
}

void PanelModel::handleProjectToggle(const ServerRow &row, const QString &projectPath, bool value, bool trust)
{
    setToggleError({});
    const QString key = ServerRows::busyKey(projectPath, row.entry.name, MCPSource::project);
    if (m_busy.contains(key))
        return; // the row is still applying its previous flip
    m_busy.insert(key);
    rebuildNow();
    whenDone(runProjectToggle(row.entry.name, projectPath, value, trust), this,
             [this] { Q_EMIT toggleFinished(); });
}

QCoro::Task<void> PanelModel::runProjectToggle(QString name, QString projectPath, bool value, bool trust)
{
    QPointer<PanelModel> self(this);
    const QString claudeJson = m_services.config->paths().claudeJsonPath;
    // On a worker: reading, parsing and rewriting a large ~/.claude.json takes far longer than a
    // frame, and the switch may wait seconds for another Quorlane's or Claude Code's lock. The
    // worker gets copies only, so the switch completes even when the panel goes away; what it
    // did is applied here, from the event loop, once this model is known to live.
    QString failure;
    try {
        QCoro::Task<void> switching = OffThread::run([claudeJson, name, projectPath, value, trust] {
            return value ? ProjectServerToggle::enableProjectServer(claudeJson, name, projectPath, trust)
                         : ProjectServerToggle::disableProjectServer(claudeJson, name, projectPath);
        });
        co_await std::move(switching);
    } catch (const std::exception &error) {
        failure = describe(error);
    }
    // The switch happened whether or not the panel is still there to show it.
    if (failure.isEmpty())
        ToggleEvents::post(name, projectPath, value);
    if (!self)
        co_return;
    // The row stays busy until the reload has published what the files now say (also after a
    // failure, which may have changed the record halfway), so its switch never jumps back.
    QCoro::Task<void> reloading = reloadLocked();
    co_await std::move(reloading);
    if (!self)
        co_return;
    m_busy.remove(ServerRows::busyKey(projectPath, name, MCPSource::project));
    rebuildNow();
    if (!failure.isEmpty()) {
        setToggleError(failure);
        co_return;
    }
    QCoro::Task<void> relaunching = relaunchAfterToggle(projectPath);
    co_await std::move(relaunching);
}

QCoro::Task<void> PanelModel::relaunchAfterToggle(std::optional<QString> projectPath)
{
    if (!m_services.prefs->autoRelaunch())
        co_return;
    QPointer<PanelModel> self(this);
    SessionManager *sessions = m_services.sessions;
    QCoro::Task<void> refreshing = sessions->refreshSessions();
    co_await std::move(refreshing);
    if (!self)
        co_return;
    // A global switch reaches every session; a project switch only the sessions in that project.
    if (projectPath)
        sessions->relaunchSessions(*projectPath, relaunchDelaySeconds);
    else
        sessions->relaunch(sessions->sessionSnapshots(), relaunchDelaySeconds);
}
