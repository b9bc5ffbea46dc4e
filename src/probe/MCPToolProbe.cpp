#include "probe/MCPToolProbe.h"

#include "probe/HttpProbe.h"
#include "probe/StdioProbe.h"
#include "store/JsonFile.h"
#include "store/QuorlaneFolder.h"
#include "json/JsonValues.h"

#include <QCryptographicHash>
#include <QFile>
#include <QMutexLocker>

#include <QCoro/QCoroFuture>
#include <QtConcurrent/QtConcurrentRun>

#include <cmath>

#include <sys/stat.h>

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

double now()
{
    return MCPToolProbe::referenceSeconds(QDateTime::currentDateTimeUtc());
}

bool isFresh(double timestamp, double at)
{
    // A timestamp in the future counts as fresh.
    return at - timestamp <= MCPToolProbe::freshnessSeconds;
}

ProbeResult resultOf(const MCPToolProbeCache_v2 &record)
{
    return {record.tokensPerMessage, true, record.tools};
}

std::optional<QList<ToolTokens>> decodeTools(const nlohmann::json &element)
{
    QList<ToolTokens> tools;
    const auto list = element.find("tools");
    if (list == element.end())
        return tools;
    if (!list->is_array())
        return std::nullopt;
    for (const nlohmann::json &tool : *list) {
        if (!tool.is_object() || !tool.contains("name") || !tool.contains("tokens"))
            return std::nullopt;
        const auto name = JsonValues::as<QString>(tool["name"]);
        const auto tokens = integerValue(tool["tokens"]);
        if (!name || !tokens)
            return std::nullopt;
        tools.append({*name, *tokens});
    }
    return tools;
}

// The server and definition of an element, when it has them. Nullopt for an element of the
// older, name-only format, and for one whose new keys are malformed: either is measured again.
std::optional<MCPToolProbeCache_v2> decodeServer(const nlohmann::json &element)
{
    const auto definition = element.find("definition");
    if (definition == element.end() || !definition->is_string())
        return std::nullopt;
    MCPToolProbeCache_v2 record;
    record.definition = JsonValues::toQString(definition->get<std::string>());
    if (const auto source = element.find("source"); source != element.end()) {
        const auto text = JsonValues::as<QString>(*source);
        record.server.source = text ? MCPSources::fromString(*text) : std::nullopt;
        if (!record.server.source)
            return std::nullopt;
    }
    if (const auto project = element.find("project"); project != element.end()) {
        const auto text = JsonValues::as<QString>(*project);
        if (!text)
            return std::nullopt;
        record.server.project = *text;
    }
    const auto tools = decodeTools(element);
    if (!tools)
        return std::nullopt;
    record.tools = *tools;
    return record;
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

QString MCPToolProbe::definitionFingerprint(const MCPServerEntry &entry)
{
    // nlohmann::json keeps object keys sorted, so equal definitions give equal text.
    nlohmann::json seen = nlohmann::json::object();
    seen["command"] = entry.command.toStdString();
    if (entry.args) {
        seen["args"] = nlohmann::json::array();
        for (const QString &arg : *entry.args)
            seen["args"].push_back(arg.toStdString());
    }
    const auto addMap = [&](const char *key, const std::optional<QMap<QString, QString>> &map) {
        if (!map)
            return;
        seen[key] = nlohmann::json::object();
        for (auto it = map->cbegin(); it != map->cend(); ++it)
            seen[key][it.key().toStdString()] = it.value().toStdString();
    };
    addMap("env", entry.env);
    addMap("headers", entry.headers);
    if (entry.url)
        seen["url"] = entry.url->toStdString();
    const std::string text = seen.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return QString::fromLatin1(QCryptographicHash::hash(QByteArrayView(text.data(), qsizetype(text.size())),
                                                        QCryptographicHash::Sha256)
                                   .toHex()
                                   .left(32));
}

QByteArray MCPToolProbe::encodeCache(const QList<MCPToolProbeCache_v2> &records)
{
    nlohmann::json array = nlohmann::json::array();
    for (const MCPToolProbeCache_v2 &record : records) {
        nlohmann::json element = {{"mcpName", record.server.name.toStdString()},
                                  {"definition", record.definition.toStdString()},
                                  {"tokensPerMessage", record.tokensPerMessage},
                                  {"timestamp", record.timestamp}};
        if (record.server.source)
            element["source"] = MCPSources::toString(*record.server.source).toStdString();
        if (!record.server.project.isEmpty())
            element["project"] = record.server.project.toStdString();
        element["tools"] = nlohmann::json::array();
        for (const ToolTokens &tool : record.tools)
            element["tools"].push_back({{"name", tool.name.toStdString()}, {"tokens", tool.tokens}});
        array.push_back(std::move(element));
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
        auto record = decodeServer(element);
        if (!record)
            continue;
        record->server.name = *nameText;
        record->tokensPerMessage = *tokenCount;
        record->timestamp = *seconds;
        records.append(*record);
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
        store(record);
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
    // Replaced in one step, so a reader never sees half a file, and private to the user: the
    // figures tell which servers are configured. Whatever else sits at the path (a FIFO, a link
    // to a device, a folder) is left alone. A failure only costs the next run a probe.
    struct stat status = {};
    if (::lstat(QFile::encodeName(m_cacheFile).constData(), &status) == 0 && !S_ISREG(status.st_mode))
        return;
    try {
        QuorlaneFolder::writePrivately(m_cacheFile, encodeCache(records));
    } catch (...) {
    }
}

void MCPToolProbe::store(const MCPToolProbeCache_v2 &record)
{
    // A server keeps the figure of its current definition only. Figures asked for without a
    // source are kept per definition (the same name may stand for several servers) until stale.
    const double at = now();
    m_cache.removeIf([&](const QHash<Key, MCPToolProbeCache_v2>::iterator &it) {
        const ProbeIdentity &server = it.key().first;
        return record.server.source ? server == record.server : !server.source && !isFresh(it->timestamp, at);
    });
    m_cache.insert({record.server, record.definition}, record);
}

std::optional<ProbeResult> MCPToolProbe::freshEstimate(const ProbeIdentity &server, const QString &definition,
                                                       double at) const
{
    const auto own = m_cache.constFind({server, definition});
    if (own != m_cache.cend() && isFresh(own->timestamp, at))
        return resultOf(*own);
    // A server of the same name and definition runs the same program.
    for (const MCPToolProbeCache_v2 &record : m_cache) {
        if (record.definition == definition && record.server.name == server.name &&
            isFresh(record.timestamp, at))
            return resultOf(record);
    }
    return std::nullopt;
}

ProbeResult MCPToolProbe::probeAndStore(const MCPServerEntry &entry, const QString &definition)
{
    const ProbeResult result =
        (entry.url && !entry.url->isEmpty())
            ? HttpProbe::measureHTTP(*entry.url, entry.headers.value_or(QMap<QString, QString>{}))
            : StdioProbe::measureStdio(entry);
    const double at = now();
    {
        // Stored and no longer running in one step: a request in between finds one or the other.
        QMutexLocker locker(&m_lock);
        const QList<ProbeIdentity> waiting = m_running.take(definition).waiting;
        if (!result.measured) {
            m_failed.insert(definition, at);
            return result;
        }
        m_failed.remove(definition);
        for (const ProbeIdentity &server : waiting)
            store({server, definition, result.tokensPerMessage, at, result.tools});
    }
    saveCache();
    return result;
}

QFuture<ProbeResult> MCPToolProbe::lookup(const ProbeIdentity &server, const MCPServerEntry &entry)
{
    const QString definition = definitionFingerprint(entry);
    const double at = now();
    QMutexLocker locker(&m_lock);
    if (const auto cached = freshEstimate(server, definition, at))
        return QtFuture::makeReadyFuture(*cached);
    const auto failed = m_failed.constFind(definition);
    if (failed != m_failed.cend() && at - *failed >= 0 && at - *failed < retrySeconds)
        return QtFuture::makeReadyFuture(ProbeResult{});
    const auto running = m_running.find(definition);
    if (running != m_running.end()) {
        if (!running->waiting.contains(server))
            running->waiting.append(server);
        return running->future;
    }
    // Started under the lock, so the probe cannot finish (and leave the map) before it is in it.
    // The pool belongs to this object and its destructor waits for it, so the job may use it.
    QFuture<ProbeResult> started = QtConcurrent::run(
        &m_probePool, [this, entry, definition] { return probeAndStore(entry, definition); });
    m_running.insert(definition, {started, {server}});
    return started;
}

QCoro::Task<ProbeResult> MCPToolProbe::estimate(ProbeIdentity server, MCPServerEntry entry)
{
    // Named, not a temporary of the co_await: GCC 12 would destroy the lambda twice.
    QFuture<ProbeResult> estimating = lookup(server, entry);
    co_return co_await estimating;
}

QCoro::Task<qint64> MCPToolProbe::tokensPerMessage(MCPServerEntry entry)
{
    QFuture<ProbeResult> estimating = lookup({std::nullopt, {}, entry.name}, entry);
    const ProbeResult result = co_await estimating;
    co_return result.tokensPerMessage;
}

QHash<QString, qint64> MCPToolProbe::cachedTokenWeights() const
{
    QHash<QString, qint64> weights;
    QHash<QString, double> measuredAt;
    QMutexLocker locker(&m_lock);
    for (const MCPToolProbeCache_v2 &record : m_cache) {
        const auto seen = measuredAt.constFind(record.server.name);
        if (seen != measuredAt.cend() && *seen > record.timestamp)
            continue;
        measuredAt.insert(record.server.name, record.timestamp);
        weights.insert(record.server.name, record.tokensPerMessage);
    }
    return weights;
}

std::optional<qint64> MCPToolProbe::cachedFigure(const MCPServerEntry &entry) const
{
    // The fingerprint is worked out only for a name the cache holds: listing a large home asks
    // about tens of thousands of servers, nearly all never measured.
    std::optional<QString> definition;
    const MCPToolProbeCache_v2 *latest = nullptr;
    QMutexLocker locker(&m_lock);
    for (const MCPToolProbeCache_v2 &record : m_cache) {
        if (record.server.name != entry.name)
            continue;
        if (!definition)
            definition = definitionFingerprint(entry);
        if (record.definition == *definition && (!latest || record.timestamp > latest->timestamp))
            latest = &record;
    }
    return latest ? std::optional(latest->tokensPerMessage) : std::nullopt;
}
