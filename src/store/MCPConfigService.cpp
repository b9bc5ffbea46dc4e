#include "MCPConfigService.h"

#include "ConfigLoader.h"
#include "StoreError.h"
#include "platform/PreferenceStore.h"

#include <QPointer>
#include <QtConcurrent>

#include <QCoro/QCoroFuture>

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
    if (!self)
        co_return;
    try {
        co_await load();
    } catch (...) {
        if (self)
            self->releaseMutationLock();
        throw;
    }
    if (self)
        releaseMutationLock();
}

QCoro::Task<void> MCPConfigService::load()
{
    QPointer<MCPConfigService> self(this);
    setIsLoading(true);
    // Read at every load: the user may have changed the list in the preferences meanwhile.
    const QStringList excludedNames = PreferenceStore::excludedPaths();
    // The future is named rather than awaited as a temporary: GCC 12 destroys a lambda
    // temporary inside a co_await expression twice, freeing the captured paths under us.
    QFuture<LoadResult> loading = QtConcurrent::run(
        [paths = m_paths, excludedNames] { return ConfigLoader::loadSnapshot(paths, excludedNames); });
    LoadResult result = co_await loading;
    if (!self)
        co_return;
    publish(std::move(result));
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
    m_projects = std::move(result.projects);
    Q_EMIT projectsChanged();
    m_disabledGlobalServers = std::move(result.disabledIDs);
    Q_EMIT disabledGlobalServersChanged();
}
