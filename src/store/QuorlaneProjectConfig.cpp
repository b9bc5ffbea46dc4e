#include "QuorlaneProjectConfig.h"

#include "ConfigFormats.h"
#include "JsonFile.h"
#include "JsonValues.h"
#include "platform/Paths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

namespace {

std::optional<ToggleHistoryEntry> decodeHistoryEntry(const nlohmann::json &value)
{
    if (!value.is_object() || !value.contains("server") || !value.contains("action") || !value.contains("ts"))
        return std::nullopt;
    const auto server = JsonValues::as<QString>(value["server"]);
    const auto action = JsonValues::as<QString>(value["action"]);
    const auto ts = JsonValues::as<double>(value["ts"]);
    if (!server || !action || !ts)
        return std::nullopt;
    return ToggleHistoryEntry{*server, *action, *ts};
}

double nowSince1970()
{
    return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

} // namespace

std::optional<QuorlaneProjectConfig> QuorlaneProjectConfig::decode(const QByteArray &bytes)
{
    const auto root = JsonFile::parseObject(bytes);
    if (!root || !root->contains("disabled") || !root->contains("history") ||
        !root->contains("stashedConfigs"))
        return std::nullopt;
    QuorlaneProjectConfig record;
    const auto disabled = JsonValues::as<QStringList>((*root)["disabled"]);
    const auto stashed = decodeServerMap((*root)["stashedConfigs"]);
    const nlohmann::json &history = (*root)["history"];
    if (!disabled || !stashed || !history.is_array())
        return std::nullopt;
    record.disabled = *disabled;
    record.stashedConfigs = *stashed;
    for (const auto &element : history) {
        auto entry = decodeHistoryEntry(element);
        if (!entry)
            return std::nullopt;
        record.history.append(std::move(*entry));
    }
    return record;
}

QByteArray QuorlaneProjectConfig::encode() const
{
    nlohmann::json history = nlohmann::json::array();
    for (const ToggleHistoryEntry &entry : this->history)
        history.push_back({{"server", JsonValues::toStd(entry.server)},
                           {"action", JsonValues::toStd(entry.action)},
                           {"ts", entry.ts}});
    nlohmann::json stashed = MCPConfig{stashedConfigs}.encode()["mcpServers"];
    nlohmann::json root = {
        {"disabled", JsonValues::toJson(disabled)}, {"history", history}, {"stashedConfigs", stashed}};
    return JsonFile::serializePretty(root);
}

QString QuorlaneProjectConfig::sidecarPath(const QString &projectPath)
{
    QString name = projectPath.startsWith(QLatin1Char('/')) ? projectPath.mid(1) : projectPath;
    name.replace(QLatin1Char('/'), QLatin1Char('-'));
    const QString folder = Paths::quorlaneSupportDirectory() + QStringLiteral("/projects");
    QDir().mkpath(folder); // a failure shows up when the record is written
    return folder + QLatin1Char('/') + name + QStringLiteral(".json");
}

QString QuorlaneProjectConfig::legacyPath(const QString &projectPath)
{
    return projectPath + QStringLiteral("/.claude.quorlane.json");
}

QuorlaneProjectConfig QuorlaneProjectConfig::load(const QString &projectPath)
{
    if (const auto bytes = JsonFile::read(sidecarPath(projectPath))) {
        if (auto record = decode(*bytes))
            return *record;
    }
    if (const auto bytes = JsonFile::read(legacyPath(projectPath))) {
        if (auto record = decode(*bytes)) {
            try {
                record->save(projectPath); // also removes the legacy file
            } catch (const std::exception &) {
                // The record still comes from the legacy file; the move is tried again next time.
            }
            return *record;
        }
    }
    return {};
}

void QuorlaneProjectConfig::save(const QString &projectPath) const
{
    JsonFile::writeAtomically(sidecarPath(projectPath), encode());
    QFile::remove(legacyPath(projectPath));
}

void QuorlaneProjectConfig::recordDisable(const QString &name)
{
    if (!disabled.contains(name))
        disabled.append(name);
    history.append({name, QStringLiteral("disable"), nowSince1970()});
}

void QuorlaneProjectConfig::recordEnable(const QString &name)
{
    disabled.removeAll(name);
    history.append({name, QStringLiteral("enable"), nowSince1970()});
}
