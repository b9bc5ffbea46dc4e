#pragma once

#include "store/Cancellation.h"
#include "store/LoadResult.h"
#include "store/MutationLock.h"
#include "json/RawJSON.h"

#include <QObject>

#include <chrono>
#include <exception>
#include <functional>

#include <QCoro/QCoroTask>

// The single owner of Quorlane's view of MCP servers. Lives on the main thread; the published
// lists are only ever replaced whole, on the main thread, after a load finishes on a worker.
class MCPConfigService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QList<MCPServerEntry> globalServers READ globalServers NOTIFY globalServersChanged)
    Q_PROPERTY(QList<MCPServerEntry> desktopServers READ desktopServers NOTIFY desktopServersChanged)
    Q_PROPERTY(QList<MCPServerEntry> managedServers READ managedServers NOTIFY managedServersChanged)
    Q_PROPERTY(QList<MCPProject> projects READ projects NOTIFY projectsChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(QSet<GlobalServerID> disabledGlobalServers READ disabledGlobalServers NOTIFY
                   disabledGlobalServersChanged)

public:
    explicit MCPConfigService(ConfigPaths paths = ConfigPaths::forCurrentUser(), QObject *parent = nullptr);

    [[nodiscard]] const QList<MCPServerEntry> &globalServers() const { return m_globalServers; }
    [[nodiscard]] const QList<MCPServerEntry> &desktopServers() const { return m_desktopServers; }
    [[nodiscard]] const QList<MCPServerEntry> &managedServers() const { return m_managedServers; }
    [[nodiscard]] const QList<MCPProject> &projects() const { return m_projects; }
    // What a Claude Code session outside every listed project loads; assigned with `projects`.
    [[nodiscard]] const QList<ClaudeCodeRules::ServerLoad> &loads() const { return m_loads; }
    [[nodiscard]] bool isLoading() const { return m_isLoading; }
    [[nodiscard]] const QSet<GlobalServerID> &disabledGlobalServers() const
    {
        return m_disabledGlobalServers;
    }
    [[nodiscard]] const ConfigPaths &paths() const { return m_paths; }
    // The files the last load could not read, each with a message naming it; published with
    // the lists.
    [[nodiscard]] const QList<SourceError> &loadErrors() const { return m_loadErrors; }

    // Takes the mutation lock, loads, releases. Returns without loading when cancelled while
    // waiting for the lock.
    QCoro::Task<void> reload(CancellationPtr cancellation = {});
    // One load and publication; the caller holds the mutation lock.
    QCoro::Task<void> load();

    QCoro::Task<void> acquireMutationLock(CancellationPtr cancellation = {});
    void releaseMutationLock();
    void cancelWaiter(const QUuid &id);
    [[nodiscard]] bool mutationIsLocked() const { return m_mutationLock.isLocked(); }

    // Switches a global or Claude Desktop server on or off under the mutation lock, verifies the
    // files and reloads; on return the published lists show the change. Throws
    // MCPConfigMutationError, FileSystemError or CancellationError; after a failed write both
    // files hold their prior bytes again.
    QCoro::Task<void> setServer(QString name, MCPSource source, bool enabled,
                                CancellationPtr cancellation = {});

    // Several global or Claude Desktop switches under one lock, in order, stopping at the first
    // that fails; then one reload, and each done switch verified against it as setServer does.
    // `before` hears of each switch before it is written. The outcome says how many were done
    // and holds the first failure (a failed write rolled back; a mismatch; a failed reload).
    struct GlobalSwitch
    {
        QString name;
        MCPSource source = MCPSource::global;
        bool enabled = false;
    };
    struct SwitchesOutcome
    {
        qsizetype done = 0;
        std::exception_ptr error;
    };
    QCoro::Task<SwitchesOutcome> setServers(QList<GlobalSwitch> switches,
                                            std::function<void(const GlobalSwitch &)> before = {},
                                            CancellationPtr cancellation = {});

    // Project servers, through the project's record; outside the mutation lock, without reload
    // (the caller reloads). They wait for another Quorlane's switch without blocking the thread.
    // Throw QuorlaneError. `trust`: put back a definition that came from inside the project
    // folder, which is refused otherwise.
    QCoro::Task<void> disableProjectServer(QString name, QString projectPath);
    QCoro::Task<void> enableProjectServer(QString name, QString projectPath, bool trust = false);

    // After a server is switched on or off, the files are looked at again after each of these delays
    // (0.5 s and 3 s by default), in case a write Claude Code began before the switch lands
    // after it. A short-lived caller (the command line) sets a shorter list and awaits
    // rechecksFinished() before it exits.
    void setRecheckDelays(QList<std::chrono::milliseconds> delays) { m_recheckDelays = std::move(delays); }
    QCoro::Task<void> rechecksFinished();

Q_SIGNALS:
    void globalServersChanged();
    void desktopServersChanged();
    void managedServersChanged();
    void projectsChanged();
    void isLoadingChanged();
    void disabledGlobalServersChanged();
    void loadErrorsChanged();
    void rechecksDone();

private:
    void setIsLoading(bool loading);
    [[nodiscard]] bool isListed(const QString &name, MCPSource source) const;
    void recheckSwitch(QString name, MCPSource source, bool enabled, RawJSON definition);
    [[nodiscard]] static QString reloadFailure(const QList<GlobalSwitch> &done, std::exception_ptr cause);
    void publish(LoadResult result);

    const ConfigPaths m_paths;
    QList<MCPServerEntry> m_globalServers;
    QList<MCPServerEntry> m_desktopServers;
    QList<MCPServerEntry> m_managedServers;
    QList<ClaudeCodeRules::ServerLoad> m_loads;
    QList<MCPProject> m_projects;
    bool m_isLoading = false;
    QSet<GlobalServerID> m_disabledGlobalServers;
    QList<SourceError> m_loadErrors;
    MutationLock m_mutationLock;
    QList<std::chrono::milliseconds> m_recheckDelays{std::chrono::milliseconds(500),
                                                     std::chrono::milliseconds(2500)};
    int m_pendingRechecks = 0;
};
