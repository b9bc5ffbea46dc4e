#include "store/Profile.h"
#include "platform/Utf8Text.h"

namespace {

nlohmann::json encodeEntry(const ProfileEntry &entry)
{
    nlohmann::json value{{"source", MCPSources::toString(entry.source).toStdString()},
                         {"name", entry.name.toStdString()},
                         {"enabled", entry.enabled}};
    if (entry.source == MCPSource::project)
        value["projectPath"] = entry.projectPath.toStdString();
    if (entry.inClaudeCode)
        value["inClaudeCode"] = true;
    return value;
}

std::optional<QString> text(const nlohmann::json &object, const char *key)
{
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string())
        return std::nullopt;
    return textFromUtf8(std::string_view(found->get_ref<const std::string &>()));
}

std::optional<ProfileEntry> decodeEntry(const nlohmann::json &value)
{
    if (!value.is_object())
        return std::nullopt;
    // Managed servers cannot be switched: a profile never holds one, so it stands for "unknown".
    const MCPSource source =
        MCPSources::fromString(text(value, "source").value_or(QString())).value_or(MCPSource::managed);
    const auto name = text(value, "name");
    const auto enabled = value.find("enabled");
    if (source == MCPSource::managed || !name || enabled == value.end() || !enabled->is_boolean())
        return std::nullopt;
    ProfileEntry entry{source, {}, *name, enabled->get<bool>()};
    const auto inClaudeCode = value.find("inClaudeCode");
    if (inClaudeCode != value.end()) {
        if (!inClaudeCode->is_boolean() || source != MCPSource::project)
            return std::nullopt;
        entry.inClaudeCode = inClaudeCode->get<bool>();
    }
    if (source == MCPSource::project) {
        const auto path = text(value, "projectPath");
        if (!path || path->isEmpty())
            return std::nullopt;
        entry.projectPath = *path;
    }
    return entry;
}

} // namespace

nlohmann::json Profile::encode() const
{
    nlohmann::json list = nlohmann::json::array();
    for (const ProfileEntry &entry : servers)
        list.push_back(encodeEntry(entry));
    return {{"name", name.toStdString()},
            {"savedAt", savedAt.toUTC().toString(Qt::ISODateWithMs).toStdString()},
            {"servers", std::move(list)}};
}

std::optional<Profile> Profile::decode(const nlohmann::json &value)
{
    if (!value.is_object())
        return std::nullopt;
    const auto name = text(value, "name");
    const auto savedAt = text(value, "savedAt");
    const auto servers = value.find("servers");
    if (!name || !ProfileNames::problem(*name).isEmpty() || !savedAt || servers == value.end() ||
        !servers->is_array())
        return std::nullopt;
    Profile profile{*name, QDateTime::fromString(*savedAt, Qt::ISODateWithMs), {}};
    if (!profile.savedAt.isValid())
        return std::nullopt;
    for (const nlohmann::json &server : *servers) {
        auto entry = decodeEntry(server);
        if (!entry)
            return std::nullopt;
        profile.servers.append(std::move(*entry));
    }
    return profile;
}

QString ProfileNames::problem(const QString &name)
{
    if (name.trimmed().isEmpty())
        return QStringLiteral("a profile name cannot be empty");
    const QList<uint> codePoints = name.toUcs4();
    if (codePoints.size() > maxLength)
        return QStringLiteral("a profile name has at most %1 characters").arg(maxLength);
    for (const uint codePoint : codePoints)
        if (QChar::category(char32_t(codePoint)) == QChar::Other_Control)
            return QStringLiteral("a profile name cannot hold control characters");
    return {};
}
