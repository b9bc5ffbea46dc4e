#pragma once

#include "probe/ProbeIdentity.h"
#include "probe/ProbeMessages.h"
#include "store/MCPServerEntry.h"

#include <QDateTime>
#include <QFuture>
#include <QHash>
#include <QMutex>
#include <QThreadPool>

#include <QCoro/QCoroTask>

// One cached measurement: of one server, for one definition of it.
struct MCPToolProbeCache_v2
{
    ProbeIdentity server;
    QString definition; // MCPToolProbe::definitionFingerprint of what was probed
    qint64 tokensPerMessage = 0;
    double timestamp = 0; // seconds since 2001-01-01T00:00:00Z, with fraction
    QList<ToolTokens> tools;

    bool operator==(const MCPToolProbeCache_v2 &) const = default;
};

// The tokens-per-message estimate of every server, from a cache that survives restarts and is
// trusted for seven days. A figure belongs to one server (its source, project folder and name)
// and to one definition of it: a changed command, environment, url or header is measured again,
// and a global, a Claude Desktop and a project server of one name each get their own figure. A
// missing or older value is measured by probing the server (over HTTP when it has a url, else by
// starting its command). Only measurements are cached: a probe that got no tool list answers the
// fallback 1500 and is tried again on a request a minute later or in the next process.
//
// Probes run on a pool of their own (each blocks a thread for up to a minute, and ten servers
// must not wait for each other); the lock guards only the maps, never a probe or the file.
//
// Callers decide what may be probed at all: a server from a project's .mcp.json that Claude
// Code has not approved must never reach estimate or tokensPerMessage (see ProbeTargets).
class MCPToolProbe
{
public:
    // An instance over `cacheFile`, loaded at once (the application's uses
    // <Quorlane support folder>/mcp_probe_cache_v2.json).
    explicit MCPToolProbe(QString cacheFile);
    // Waits for the probes that are running.
    ~MCPToolProbe();
    MCPToolProbe(const MCPToolProbe &) = delete;
    MCPToolProbe &operator=(const MCPToolProbe &) = delete;

    // The estimate of the server `server` defined as `entry`: fresh from the cache (its own
    // figure, or that of a server of the same name and definition), or measured on a worker,
    // cached and saved. Callable from any thread that runs an event loop, several times at once;
    // requests for a definition whose probe is under way wait for that probe instead of starting
    // the program again.
    QCoro::Task<ProbeResult> estimate(ProbeIdentity server, MCPServerEntry entry);

    // The figure alone, for a caller that does not tell sources apart: found by name and
    // definition.
    QCoro::Task<qint64> tokensPerMessage(MCPServerEntry entry);

    // Every cached figure by server name, fresh or not; of several servers of one name, the one
    // measured last.
    [[nodiscard]] QHash<QString, qint64> cachedTokenWeights() const;
    // The cached figure of a server of this name and definition, fresh or not; the one measured
    // last. Nullopt when the definition was never measured.
    [[nodiscard]] std::optional<qint64> cachedFigure(const MCPServerEntry &entry) const;

    [[nodiscard]] QString cacheFile() const { return m_cacheFile; }

    // No probe is running or waiting for a thread.
    [[nodiscard]] bool isIdle() { return m_probePool.waitForDone(0); }

    // Seven days: an older value is measured again.
    static constexpr double freshnessSeconds = 604800;
    // A probe that failed is not tried again sooner: the panel asks for every server each time
    // its list changes, and a broken server must not be restarted on every one of them.
    static constexpr double retrySeconds = 60;

    // Seconds since 2001-01-01T00:00:00Z, the cache's unit of time.
    [[nodiscard]] static double referenceSeconds(const QDateTime &moment);

    // What a probe of `entry` depends on (command, arguments, environment, url, headers; not the
    // name), as a digest: a different text means a different program to measure. The file holds
    // only the digest, never the environment or headers themselves.
    [[nodiscard]] static QString definitionFingerprint(const MCPServerEntry &entry);

    // The cache file's text of `records` (a compact JSON array), and back; nullopt when the text
    // is not such an array or an element lacks the name, figure or time. Elements written by
    // versions that kept one figure per name (no definition) are left out.
    [[nodiscard]] static QByteArray encodeCache(const QList<MCPToolProbeCache_v2> &records);
    [[nodiscard]] static std::optional<QList<MCPToolProbeCache_v2>> decodeCache(const QByteArray &bytes);

private:
    using Key = std::pair<ProbeIdentity, QString>; // the server and its definition
    struct Running
    {
        QFuture<ProbeResult> future;
        QList<ProbeIdentity> waiting; // the servers that get its figure
    };

    void loadCache();
    void saveCache();
    // Call with the lock held.
    [[nodiscard]] std::optional<ProbeResult> freshEstimate(const ProbeIdentity &server,
                                                           const QString &definition, double now) const;
    void store(const MCPToolProbeCache_v2 &record);
    // Runs on a probe thread: measure, store, save.
    ProbeResult probeAndStore(const MCPServerEntry &entry, const QString &definition);
    // The fresh cached value, the probe of the definition that is running, or a new one.
    QFuture<ProbeResult> lookup(const ProbeIdentity &server, const MCPServerEntry &entry);

    const QString m_cacheFile;
    QHash<Key, MCPToolProbeCache_v2> m_cache;
    // The probes under way by definition: a second request joins the first rather than starting
    // the server again.
    QHash<QString, Running> m_running;
    // When each definition's last probe failed.
    QHash<QString, double> m_failed;
    mutable QMutex m_lock;
    // Orders whole-file writes, so the last file written holds the latest map.
    QMutex m_fileLock;
    QThreadPool m_probePool;
};
