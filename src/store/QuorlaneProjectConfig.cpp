#include "store/QuorlaneProjectConfig.h"

#include "json/JsonNumber.h"
#include "json/JsonPrettyWriter.h"
#include "json/JsonValues.h"

#include <QDateTime>

namespace {

using Index = JsonDocument::Index;
using Kind = JsonDocument::Kind;

std::optional<QString> stringAt(const JsonDocument &document, std::optional<Index> value)
{
    if (!value || document.kind(*value) != Kind::string)
        return std::nullopt;
    return JsonValues::toQString(document.string(*value));
}

std::optional<QStringList> stringsAt(const JsonDocument &document, Index value)
{
    if (document.kind(value) != Kind::array)
        return std::nullopt;
    QStringList strings;
    bool ok = true;
    document.forEachElement(value, [&](Index element) {
        const auto string = ok ? stringAt(document, element) : std::nullopt;
        ok = string.has_value();
        if (ok)
            strings.append(*string);
    });
    return ok ? std::optional(strings) : std::nullopt;
}

std::optional<ToggleHistoryEntry> decodeHistoryEntry(const JsonDocument &document, Index value)
{
    if (document.kind(value) != Kind::object)
        return std::nullopt;
    const auto server = stringAt(document, document.member(value, "server"));
    const auto action = stringAt(document, document.member(value, "action"));
    const auto ts = document.member(value, "ts");
    const auto seconds = ts && document.kind(*ts) == Kind::number
                             ? JsonNumber::toDouble(document.numberText(*ts))
                             : std::nullopt;
    if (!server || !action || !seconds)
        return std::nullopt;
    return ToggleHistoryEntry{*server, *action, *seconds};
}

std::optional<QList<ToggleHistoryEntry>> decodeHistory(const JsonDocument &document, Index value)
{
    if (document.kind(value) != Kind::array)
        return std::nullopt;
    QList<ToggleHistoryEntry> history;
    bool ok = true;
    document.forEachElement(value, [&](Index element) {
        auto entry = ok ? decodeHistoryEntry(document, element) : std::nullopt;
        ok = entry.has_value();
        if (ok)
            history.append(std::move(*entry));
    });
    return ok ? std::optional(std::move(history)) : std::nullopt;
}

// Every definition is an object; its members are kept as they are, numbers and escapes
// included. A name without an origin was stashed by an older version.
std::optional<QMap<QString, StashedDefinition>> decodeStash(const JsonDocument &document, Index configs,
                                                            std::optional<Index> origins)
{
    if (document.kind(configs) != Kind::object || (origins && document.kind(*origins) != Kind::object))
        return std::nullopt;
    QMap<QString, StashedDefinition> stash;
    bool ok = true;
    std::string scratch;
    document.forEachMember(configs, [&](Index key, Index value) {
        if (!ok)
            return;
        const std::string name(document.string(key, scratch));
        auto definition = document.kind(value) == Kind::object
                              ? RawJSON::fromDocument(document, value, RawJSON::Numbers::byValue)
                              : std::nullopt;
        const auto origin = origins ? document.member(*origins, name) : std::nullopt;
        const auto originKey = origin ? stringAt(document, origin) : std::optional(QString());
        ok = definition && originKey;
        if (ok)
            stash.insert(JsonValues::toQString(name),
                         {std::move(*definition),
                          DefinitionOrigins::fromKey(*originKey).value_or(DefinitionOrigin::unknown)});
    });
    return ok ? std::optional(std::move(stash)) : std::nullopt;
}

void appendString(std::string &out, const QString &text)
{
    JsonDocument::appendEscaped(JsonValues::toStd(text), out);
}

double nowSince1970()
{
    return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

} // namespace

std::optional<QuorlaneProjectConfig> QuorlaneProjectConfig::decode(const QByteArray &bytes)
{
    const auto document = JsonDocument::parse(bytes);
    if (!document || document->kind(JsonDocument::root()) != Kind::object)
        return std::nullopt;
    const auto member = [&](std::string_view key) { return document->member(JsonDocument::root(), key); };
    const auto disabledAt = member("disabled");
    const auto historyAt = member("history");
    const auto configsAt = member("stashedConfigs");
    if (!disabledAt || !historyAt || !configsAt)
        return std::nullopt;
    const auto disabled = stringsAt(*document, *disabledAt);
    auto history = decodeHistory(*document, *historyAt);
    auto stash = decodeStash(*document, *configsAt, member("stashedOrigins"));
    const auto path = member("projectPath");
    const auto projectPath = path ? stringAt(*document, path) : std::optional(QString());
    if (!disabled || !history || !stash || !projectPath)
        return std::nullopt;
    return QuorlaneProjectConfig{*projectPath, *disabled, std::move(*history), std::move(*stash)};
}

// Written as compact text first, then indented with sorted keys by the writer of the live file:
// definitions keep every number and escape as they were read.
QByteArray QuorlaneProjectConfig::encode() const
{
    std::string text = "{\"disabled\":[";
    for (qsizetype i = 0; i < disabled.size(); ++i) {
        text += i > 0 ? "," : "";
        appendString(text, disabled[i]);
    }
    text += "],\"history\":[";
    for (qsizetype i = 0; i < history.size(); ++i) {
        text += i > 0 ? ",{\"action\":" : "{\"action\":";
        appendString(text, history[i].action);
        text += ",\"server\":";
        appendString(text, history[i].server);
        text += ",\"ts\":" + RawJSON(history[i].ts).text() + "}";
    }
    text += "],\"projectPath\":";
    appendString(text, projectPath);
    // "stashedConfigs" keeps its place and shape, so an older version still reads the record.
    std::string configs;
    std::string origins;
    for (auto it = stashedConfigs.cbegin(); it != stashedConfigs.cend(); ++it) {
        configs += configs.empty() ? "" : ",";
        origins += origins.empty() ? "" : ",";
        appendString(configs, it.key());
        configs += ':';
        it->definition.appendText(configs);
        appendString(origins, it.key());
        origins += ':';
        appendString(origins, DefinitionOrigins::key(it->origin));
    }
    text += ",\"stashedConfigs\":{" + configs + "},\"stashedOrigins\":{" + origins + "}}";
    return JsonPrettyWriter::indent(text);
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
