#include "store/MCPConfigService.h"

#include "platform/PreferenceStore.h"
#include "platform/QuorlaneError.h"
#include "store/ConfigLoader.h"
#include "store/ConfigMutation.h"
#include "store/GlobalToggle.h"
#include "store/MCPConfigMutationError.h"
#include "store/OffThread.h"
#include "store/ProjectServerToggle.h"
#include "store/QuorlaneLock.h"
#include "store/SwitchInProgress.h"

#include <QFileInfo>
#include <QPointer>
#include <QtConcurrent>

#include <QCoro/QCoroFuture>
#include <QCoro/QCoroSignal>
#include <QCoro/QCoroTimer>

#include <algorithm>
#include <deque>

namespace {

// Gives the mutation lock back when the frame that took it ends, however it ends: a return, an
// exception, a failed step. Nothing when the service itself is gone.
class HeldMutationLock
{
public:
    explicit HeldMutationLock(MCPConfigService *service) : m_service(service) {}
    ~HeldMutationLock()
    {
        if (m_service)
            m_service->releaseMutationLock();
    }
    HeldMutationLock(const HeldMutationLock &) = delete;
    HeldMutationLock &operator=(const HeldMutationLock &) = delete;

private:
    QPointer<MCPConfigService> m_service;
};

} // namespace

MCPConfigService::MCPConfigService(ConfigPaths paths, QObject *parent)
    : QObject(parent), m_paths(std::move(paths))
{}

QCoro::Task<void> MCPConfigService::reload(CancellationPtr cancellation)
{
    QPointer<MCPConfigService> self(this);
    try {
        co_await acquireMutationLock(cancellation);
    } catch (const CancellationError &) {
        co_return;
    }
    const HeldMutationLock held(this);
    if (!self)
        co_return;
    co_await load();
}

QCoro::Task<void> MCPConfigService::load()
{
    QPointer<MCPConfigService> self(this);
    setIsLoading(true);
    // Read at every load: the user may have changed the list in the preferences meanwhile.
    const QStringList excludedNames = PreferenceStore::excludedPaths();
    // The future is made in its own statement: GCC 12 destroys temporaries of a co_await
    // expression twice, and a lambda capturing the paths there released them for good.
    QFuture<LoadResult> snapshot = QtConcurrent::run(&ConfigLoader::loadSnapshot, m_paths, excludedNames);
    std::optional<LoadResult> result;
    try {
        result.emplace(co_await snapshot);
    } catch (...) {
        // Never "Loading…" for ever: the panel shows the lists it had and the error.
        if (self)
            self->setIsLoading(false);
        throw;
    }
    if (!self)
        co_return;
    publish(std::move(*result));
    setIsLoading(false);
}

QCoro::Task<void> MCPConfigService::acquireMutationLock(CancellationPtr cancellation)
{
    return m_mutationLock.acquire(std::move(cancellation));
}

void MCPConfigService::releaseMutationLock()
{
    m_mutationLock.release();
}

void MCPConfigService::cancelWaiter(const QUuid &id)
{
    m_mutationLock.cancelWaiter(id);
}

QCoro::Task<void> MCPConfigService::setServer(QString name, MCPSource source, bool enabled,
                                              CancellationPtr cancellation)
{
    QCoro::Task<SwitchesOutcome> switching =
        setServers({GlobalSwitch{std::move(name), source, enabled}}, {}, std::move(cancellation));
    const SwitchesOutcome outcome = co_await std::move(switching);
    if (outcome.error)
        std::rethrow_exception(outcome.error);
}

QCoro::Task<MCPConfigService::SwitchesOutcome>
MCPConfigService::setServers(QList<GlobalSwitch> switches, std::function<void(const GlobalSwitch &)> before,
                             CancellationPtr cancellation)
{
    SwitchesOutcome result;
    for (const GlobalSwitch &change : std::as_const(switches)) {
        if (change.source != MCPSource::global && change.source != MCPSource::desktop) {
            result.error = std::make_exception_ptr(MCPConfigMutationError::unsupportedSource());
            co_return result;
        }
    }
    QPointer<MCPConfigService> self(this);
    co_await acquireMutationLock(std::move(cancellation));
    // Every lock below is released by its scope, in reverse order, on every way out.
    const HeldMutationLock held(this);
    if (!self)
        co_return result;
    // A termination signal waits for these switches to finish or roll back.
    const SwitchInProgress::Scope switching;
    // Another Quorlane process may be switching too: the stash is read, changed and written back
    // only while this lock is held, from the first read to the last check. Claude Code's lock is
    // taken inside, only around each change of ~/.claude.json.
    QuorlaneLock fileLock(QFileInfo(m_paths.disabledGlobalConfigPath).absolutePath());
    // In a statement of its own: GCC 12 destroys a co_await expression's temporaries twice,
    // which here left the lock taken by a copy nobody released.
    QCoro::Task<void> locking = fileLock.acquire();
    co_await std::move(locking);
    if (!self)
        co_return result;

    // The file work runs on a worker (a large ~/.claude.json takes longer than a frame to read
    // and rewrite); the toggles live in this frame, which waits for each, and stay for the
    // checks after the reload. A deque: its elements never move.
    std::deque<GlobalToggle> toggles;
    bool written = false;
    for (const GlobalSwitch &change : std::as_const(switches)) {
        if (before)
            before(change);
        GlobalToggle &toggle = toggles.emplace_back(m_paths, change.name, change.source, change.enabled);
        QCoro::Task<GlobalToggle::Outcome> running = OffThread::run([&toggle] { return toggle.run(); });
        const GlobalToggle::Outcome outcome = co_await std::move(running);
        if (!self)
            co_return result;
        written = written || outcome.kind != GlobalToggle::Outcome::Kind::rejected;
        if (outcome.kind != GlobalToggle::Outcome::Kind::done) {
            result.error = outcome.error;
            break;
        }
        ++result.done;
    }
    if (!written)
        co_return result;

    try {
        co_await load();
    } catch (...) {
        // The switches themselves are on disk; only the lists are stale. Say both.
        if (!result.error)
            result.error = std::make_exception_ptr(
                QuorlaneError(reloadFailure(switches.first(result.done), std::current_exception())));
        co_return result;
    }
    if (!self)
        co_return result;
    for (qsizetype i = 0; i < result.done; ++i) {
        const GlobalSwitch &change = switches.at(i);
        GlobalToggle &toggle = toggles.at(size_t(i));
        // A server switched again later in the batch is checked by that later switch.
        const auto later = switches.cbegin() + i + 1;
        if (std::any_of(later, switches.cbegin() + result.done, [&change](const GlobalSwitch &other) {
                return other.name == change.name && other.source == change.source;
            }))
            continue;
        // The files passed verification; a published state that disagrees is reported, but the
        // files stay as written. Another program may have rewritten the live file from a copy
        // it read before our change: then the server is made to sit in exactly one file.
        const bool mismatch =
            m_disabledGlobalServers.contains(GlobalServerID{change.name, change.source}) == change.enabled;
        if (mismatch || (change.enabled && !isListed(change.name, change.source))) {
            std::exception_ptr error;
            try {
                QCoro::Task<bool> reconciling = OffThread::run([&toggle] { return toggle.reconcile(); });
                const bool changed = co_await std::move(reconciling);
                if (!self)
                    co_return result;
                if (changed)
                    co_await load();
                if (mismatch || changed)
                    error = std::make_exception_ptr(MCPConfigMutationError::verificationFailed());
            } catch (...) {
                error = std::current_exception();
            }
            if (!self)
                co_return result;
            if (error) {
                if (!result.error)
                    result.error = error;
                continue;
            }
        }
        // A write Claude Code began before ours can still land for a moment after it; look again
        // once that moment has passed, so a definition is never left in neither file (switched
        // on) nor in both (switched off, then re-added by that stale write).
        if (toggle.definition())
            recheckSwitch(change.name, change.source, change.enabled, *toggle.definition());
    }
    co_return result;
}

QString MCPConfigService::reloadFailure(const QList<GlobalSwitch> &done, std::exception_ptr cause)
{
    const QString reason = ConfigMutation::describe(cause);
    if (done.size() == 1)
        return QStringLiteral("MCP server \u2018%1\u2019 was switched %2, but the server lists could not be "
                              "reloaded: %3")
            .arg(done.first().name, done.first().enabled ? QStringLiteral("on") : QStringLiteral("off"),
                 reason);
    return QStringLiteral("%1 MCP servers were switched, but the server lists could not be reloaded: %2")
        .arg(done.size())
        .arg(reason);
}

void MCPConfigService::recheckSwitch(QString name, MCPSource source, bool enabled, RawJSON definition)
{
    ++m_pendingRechecks;
    // Started and left to run; it holds only a guarded pointer to the service.
    [](QPointer<MCPConfigService> self, ConfigPaths paths, QString name, MCPSource source, bool enabled,
       RawJSON definition, QList<std::chrono::milliseconds> delays) -> QCoro::Task<void> {
        for (const std::chrono::milliseconds delay : delays) {
            co_await QCoro::sleepFor(delay);
            if (!self)
                co_return;
            co_await self->acquireMutationLock();
            const HeldMutationLock held(self);
            if (!self)
                co_return;
            bool changed = false;
            try {
                const SwitchInProgress::Scope switching;
                QuorlaneLock fileLock(QFileInfo(paths.disabledGlobalConfigPath).absolutePath());
                QCoro::Task<void> locking = fileLock.acquire();
                co_await std::move(locking);
                // Arguments are copied in a statement of their own: GCC 12 destroys the temporaries
                // of a co_await expression twice.
                auto reconciling = OffThread::run([paths, name, source, enabled, definition] {
                    return GlobalToggle::reconcile(paths, name, source, enabled, definition);
                });
                changed = co_await std::move(reconciling);
                if (changed && self)
                    co_await self->load();
            } catch (...) {
                // Best effort: the switch itself already succeeded and was reported.
            }
            if (!self)
                co_return;
            if (changed)
                break;
        }
        if (self && --self->m_pendingRechecks == 0)
            Q_EMIT self->rechecksDone();
    }(QPointer<MCPConfigService>(this), m_paths, std::move(name), source, enabled, std::move(definition),
                                                                    m_recheckDelays);
}

QCoro::Task<void> MCPConfigService::rechecksFinished()
{
    if (m_pendingRechecks == 0)
        co_return;
    auto done = qCoro(this, &MCPConfigService::rechecksDone);
    co_await done;
}

bool MCPConfigService::isListed(const QString &name, MCPSource source) const
{
    const QList<MCPServerEntry> &listed = source == MCPSource::desktop ? m_desktopServers : m_globalServers;
    return std::any_of(listed.cbegin(), listed.cend(),
                       [&](const MCPServerEntry &entry) { return entry.name == name; });
}

QCoro::Task<void> MCPConfigService::disableProjectServer(QString name, QString projectPath)
{
    return ProjectServerToggle::disableProjectServer(m_paths.claudeJsonPath, std::move(name),
                                                     std::move(projectPath));
}

QCoro::Task<void> MCPConfigService::enableProjectServer(QString name, QString projectPath, bool trust)
{
    return ProjectServerToggle::enableProjectServer(m_paths.claudeJsonPath, std::move(name),
                                                    std::move(projectPath), trust);
}

void MCPConfigService::setIsLoading(bool loading)
{
    m_isLoading = loading;
    Q_EMIT isLoadingChanged();
}

// Every list is assigned and announced on each load, in a fixed order, even when unchanged.
void MCPConfigService::publish(LoadResult result)
{
    m_globalServers = std::move(result.global);
    Q_EMIT globalServersChanged();
    m_desktopServers = std::move(result.desktop);
    Q_EMIT desktopServersChanged();
    m_managedServers = std::move(result.managed);
    Q_EMIT managedServersChanged();
    m_loads = std::move(result.loads);
    m_projects = std::move(result.projects);
    Q_EMIT projectsChanged();
    m_disabledGlobalServers = std::move(result.disabledIDs);
    Q_EMIT disabledGlobalServersChanged();
    if (m_loadErrors != result.errors) {
        m_loadErrors = std::move(result.errors);
        Q_EMIT loadErrorsChanged();
    }
}
