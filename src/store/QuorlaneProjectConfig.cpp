#include "QuorlaneProjectConfig.h"

#include "JsonFile.h"
#include "JsonValues.h"
#include "ProjectRecordFile.h"

#include <QDateTime>

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

std::optional<QList<ToggleHistoryEntry>> decodeHistory(const nlohmann::json &value)
{
    if (!value.is_array())
        return std::nullopt;
    QList<ToggleHistoryEntry> history;
    for (const auto &element : value) {
        auto entry = decodeHistoryEntry(element);
        if (!entry)
            return std::nullopt;
        history.append(std::move(*entry));
    }
    return history;
}

// Every definition is an object; its members are kept as they are. A name without an origin
// was stashed by an older version.
std::optional<QMap<QString, StashedDefinition>> decodeStash(const nlohmann::json &root)
{
    const nlohmann::json &configs = root["stashedConfigs"];
    const auto origins = root.find("stashedOrigins");
    if (!configs.is_object() || (origins != root.end() && !origins->is_object()))
        return std::nullopt;
    QMap<QString, StashedDefinition> stash;
    for (const auto &[name, definition] : configs.items()) {
        if (!definition.is_object())
            return std::nullopt;
        StashedDefinition stashed{RawJSON::fromText(definition), DefinitionOrigin::unknown};
        if (origins != root.end() && origins->contains(name)) {
            const auto key = JsonValues::as<QString>((*origins)[name]);
            if (!key)
                return std::nullopt;
            stashed.origin = DefinitionOrigins::fromKey(*key).value_or(DefinitionOrigin::unknown);
        }
        stash.insert(JsonValues::toQString(name), std::move(stashed));
    }
    return stash;
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
    const auto disabled = JsonValues::as<QStringList>((*root)["disabled"]);
    auto history = decodeHistory((*root)["history"]);
    auto stash = decodeStash(*root);
    const auto path = root->find("projectPath");
    const auto projectPath = path == root->end() ? std::optional(QString()) : JsonValues::as<QString>(*path);
    if (!disabled || !history || !stash || !projectPath)
        return std::nullopt;
    return QuorlaneProjectConfig{*projectPath, *disabled, std::move(*history), std::move(*stash)};
}

QByteArray QuorlaneProjectConfig::encode() const
{
    nlohmann::json history = nlohmann::json::array();
    for (const ToggleHistoryEntry &entry : this->history)
        history.push_back({{"server", JsonValues::toStd(entry.server)},
                           {"action", JsonValues::toStd(entry.action)},
                           {"ts", entry.ts}});
    nlohmann::json stashed = nlohmann::json::object();
    nlohmann::json origins = nlohmann::json::object();
    for (auto it = stashedConfigs.cbegin(); it != stashedConfigs.cend(); ++it) {
        stashed[JsonValues::toStd(it.key())] = it->definition.toGeneric();
        origins[JsonValues::toStd(it.key())] = JsonValues::toStd(DefinitionOrigins::key(it->origin));
    }
    // "stashedConfigs" keeps its place and shape, so an older version still reads the record.
    nlohmann::json root = {{"disabled", JsonValues::toJson(disabled)},
                           {"history", history},
                           {"projectPath", JsonValues::toStd(projectPath)},
                           {"stashedConfigs", stashed},
                           {"stashedOrigins", origins}};
    return JsonFile::serializePretty(root);
}

QuorlaneProjectConfig QuorlaneProjectConfig::load(const QString &projectPath)
{
    return ProjectRecordFile::loadForReading(projectPath);
}

void QuorlaneProjectConfig::save(const QString &projectPath)
{
    ProjectRecordFile::save(*this, projectPath);
}

QString QuorlaneProjectConfig::sidecarPath(const QString &projectPath)
{
    return ProjectRecordFile::sidecarPath(projectPath);
}

QString QuorlaneProjectConfig::legacyPath(const QString &projectPath)
{
    return ProjectRecordFile::legacyPath(projectPath);
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
