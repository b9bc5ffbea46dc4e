#pragma once

#include "store/MCPServerEntry.h"

#include <QDateTime>
#include <QFuture>
#include <QHash>
#include <QMutex>
#include <QThreadPool>

#include <QCoro/QCoroTask>

// One cached estimate.
struct MCPToolProbeCache_v2
{
    QString mcpName;
    qint64 tokensPerMessage = 0;
    double timestamp = 0; // seconds since 2001-01-01T00:00:00Z, with fraction

    bool operator==(const MCPToolProbeCache_v2 &) const = default;
};

// The tokens-per-message estimate of every server, by name, from a cache that survives restarts
// and is trusted for seven days; a missing or older value is measured again by probing the
// server (over HTTP when it has a url, else by starting its command). Every result is cached,
// the fallback 1500 included, so a broken server is not restarted on every panel opening.
//
// Probes run on a pool of their own (each blocks a thread for up to a minute, and ten servers
// must not wait for each other); the lock guards only the maps, never a probe or the file.
//
// Callers decide what may be probed at all: a server from a project's .mcp.json that Claude
// Code has not approved must never reach tokensPerMessage (see ProbeTargets).
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

    // The estimate for `entry`: fresh from the cache, or measured on a worker, cached and saved.
    // Callable from any thread that runs an event loop, several times at once; requests for a
    // name whose probe is under way wait for that probe instead of starting another.
    QCoro::Task<qint64> tokensPerMessage(MCPServerEntry entry);

    // Every cached estimate by server name, fresh or not.
    [[nodiscard]] QHash<QString, qint64> cachedTokenWeights() const;

    [[nodiscard]] QString cacheFile() const { return m_cacheFile; }

    // No probe is running or waiting for a thread.
    [[nodiscard]] bool isIdle() { return m_probePool.waitForDone(0); }

    // Seven days: an older value is measured again.
    static constexpr double freshnessSeconds = 604800;

    // Seconds since 2001-01-01T00:00:00Z, the cache's unit of time.
    [[nodiscard]] static double referenceSeconds(const QDateTime &moment);

    // The cache file's text of `records` (a compact JSON array), and back; nullopt when the text
    // is not such an array or any element is malformed.
    [[nodiscard]] static QByteArray encodeCache(const QList<MCPToolProbeCache_v2> &records);
    [[nodiscard]] static std::optional<QList<MCPToolProbeCache_v2>> decodeCache(const QByteArray &bytes);

private:
    void loadCache();
    void saveCache();
    // Call with the lock held.
    [[nodiscard]] std::optional<qint64> freshEstimate(const QString &name) const;
    // Runs on a probe thread: measure, store, save.
    qint64 probeAndStore(const MCPServerEntry &entry);
    // The fresh cached value, the probe of the entry's name that is running, or a new one.
    QFuture<qint64> estimate(const MCPServerEntry &entry);

    const QString m_cacheFile;
    QHash<QString, MCPToolProbeCache_v2> m_cache;
    // The probes under way by server name: a second request for a name joins the first rather
    // than starting the server again.
    QHash<QString, QFuture<qint64>> m_running;
    mutable QMutex m_lock;
    // Orders whole-file writes, so overlapping saves never interleave their bytes.
    QMutex m_fileLock;
    QThreadPool m_probePool;
};
