#include "probe/MCPToolProbe.h"

#include "probe/HttpProbe.h"
#include "probe/StdioProbe.h"
#include "store/JsonFile.h"
#include "json/JsonValues.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>

#include <QCoro/QCoroFuture>
#include <QtConcurrent/QtConcurrentRun>

#include <cmath>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// 2001-01-01T00:00:00Z in seconds since 1970-01-01T00:00:00Z.
constexpr double referenceDateOffset = 978307200.0;

// Each probe blocks its thread in pauses and reads, so many can run at once on two cores.
constexpr int maxConcurrentProbes = 32;

std::optional<qint64> integerValue(const nlohmann::json &value)
{
    if (value.is_number_integer())
        return value.get<qint64>();
    if (value.is_number_float()) {
        const double number = value.get<double>();
        if (std::isfinite(number) && std::trunc(number) == number && std::abs(number) < 9.0e18)
            return qint64(number);
    }
    return std::nullopt;
}

} // namespace

MCPToolProbe::MCPToolProbe(QString cacheFile) : m_cacheFile(std::move(cacheFile))
{
    m_probePool.setMaxThreadCount(maxConcurrentProbes);
    m_probePool.setThreadPriority(QThread::LowPriority);
    loadCache();
}

MCPToolProbe::~MCPToolProbe()
{
    m_probePool.waitForDone();
}

double MCPToolProbe::referenceSeconds(const QDateTime &moment)
{
    return double(moment.toMSecsSinceEpoch()) / 1000.0 - referenceDateOffset;
}

QByteArray MCPToolProbe::encodeCache(const QList<MCPToolProbeCache_v2> &records)
{
    nlohmann::json array = nlohmann::json::array();
    for (const MCPToolProbeCache_v2 &record : records) {
        array.push_back({{"mcpName", record.mcpName.toStdString()},
                         {"tokensPerMessage", record.tokensPerMessage},
                         {"timestamp", record.timestamp}});
    }
    return JsonFile::serializeCompact(array);
}

std::optional<QList<MCPToolProbeCache_v2>> MCPToolProbe::decodeCache(const QByteArray &bytes)
{
    const auto root = JsonFile::parse(bytes);
    if (!root || !root->is_array())
        return std::nullopt;
    QList<MCPToolProbeCache_v2> records;
    for (const nlohmann::json &element : *root) {
        if (!element.is_object())
            return std::nullopt;
        const auto name = element.find("mcpName");
        const auto tokens = element.find("tokensPerMessage");
        const auto timestamp = element.find("timestamp");
        if (name == element.end() || tokens == element.end() || timestamp == element.end())
            return std::nullopt;
        const auto nameText = JsonValues::as<QString>(*name);
        const auto tokenCount = integerValue(*tokens);
        const auto seconds = JsonValues::as<double>(*timestamp);
        if (!nameText || !tokenCount || !seconds)
            return std::nullopt;
        records.append({*nameText, *tokenCount, *seconds});
    }
    return records;
}

void MCPToolProbe::loadCache()
{
    const auto bytes = JsonFile::read(m_cacheFile, RegularFile::kSmallLimit);
    const auto records = bytes ? decodeCache(*bytes) : std::nullopt;
    if (!records)
        return;
    QMutexLocker locker(&m_lock);
    for (const MCPToolProbeCache_v2 &record : *records)
        m_cache.insert(record.mcpName, record);
}

void MCPToolProbe::saveCache()
{
    // The snapshot is taken under the file lock, so the last file written holds the latest map.
    QMutexLocker fileLocker(&m_fileLock);
    QList<MCPToolProbeCache_v2> records;
    {
        QMutexLocker locker(&m_lock);
        records = m_cache.values();
    }
    const QByteArray bytes = encodeCache(records);
    QDir().mkpath(QFileInfo(m_cacheFile).absolutePath());
    // A plain rewrite in place; a failure only costs the next run a probe. Opened without
    // blocking and written only when it is a regular file: a FIFO in its place must not hang us.
    const int fd = ::open(QFile::encodeName(m_cacheFile).constData(),
                          O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0)
        return;
    QFile file;
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || ::ftruncate(fd, 0) != 0 ||
        !file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return;
    }
    file.write(bytes);
}

std::optional<qint64> MCPToolProbe::freshEstimate(const QString &name) const
{
    const auto it = m_cache.constFind(name);
    // A timestamp in the future counts as fresh.
    if (it != m_cache.cend() &&
        referenceSeconds(QDateTime::currentDateTimeUtc()) - it->timestamp <= freshnessSeconds)
        return it->tokensPerMessage;
    return std::nullopt;
}

qint64 MCPToolProbe::probeAndStore(const MCPServerEntry &entry)
{
    const qint64 tokens =
        (entry.url && !entry.url->isEmpty())
            ? HttpProbe::probeHTTP(*entry.url, entry.headers.value_or(QMap<QString, QString>{}))
            : StdioProbe::probeStdio(entry);
    const MCPToolProbeCache_v2 record{entry.name, tokens, referenceSeconds(QDateTime::currentDateTimeUtc())};
    {
        // Stored and no longer running in one step: a request in between finds one or the other.
        QMutexLocker locker(&m_lock);
        m_cache.insert(entry.name, record);
        m_running.remove(entry.name);
    }
    saveCache();
    return tokens;
}

QFuture<qint64> MCPToolProbe::estimate(const MCPServerEntry &entry)
{
    QMutexLocker locker(&m_lock);
    if (const auto cached = freshEstimate(entry.name))
        return QtFuture::makeReadyFuture(*cached);
    const auto running = m_running.constFind(entry.name);
    if (running != m_running.cend())
        return *running;
    // Started under the lock, so the probe cannot finish (and leave the map) before it is in it.
    // The pool belongs to this object and its destructor waits for it, so the job may use it.
    QFuture<qint64> started = QtConcurrent::run(&m_probePool, [this, entry] { return probeAndStore(entry); });
    m_running.insert(entry.name, started);
    return started;
}

QCoro::Task<qint64> MCPToolProbe::tokensPerMessage(MCPServerEntry entry)
{
    // Named, not a temporary of the co_await: GCC 12 would destroy the lambda twice.
    QFuture<qint64> estimating = estimate(entry);
    co_return co_await estimating;
}

QHash<QString, qint64> MCPToolProbe::cachedTokenWeights() const
{
    QHash<QString, qint64> weights;
    QMutexLocker locker(&m_lock);
    for (auto it = m_cache.cbegin(); it != m_cache.cend(); ++it)
        weights.insert(it.key(), it->tokensPerMessage);
    return weights;
}
