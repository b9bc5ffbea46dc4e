#include "store/MCPServerRaw.h"

#include "platform/Utf8Text.h"
#include "json/JsonValues.h"

#include <nlohmann/json.hpp>

namespace {

// Reads member `key` into `field` when present and not null. False when it has the wrong type.
template<typename T> bool readField(const nlohmann::json &object, const char *key, std::optional<T> &field)
{
    const auto it = object.find(key);
    if (it == object.end() || it->is_null())
        return true;
    field = JsonValues::as<T>(*it);
    return field.has_value();
}

template<typename T> void writeField(nlohmann::json &object, const char *key, const std::optional<T> &field)
{
    if (field)
        object[key] = JsonValues::toJson(*field);
}

} // namespace

std::optional<MCPServerRaw> MCPServerRaw::decode(const nlohmann::json &value)
{
    if (!value.is_object())
        return std::nullopt;
    MCPServerRaw raw;
    const bool ok = readField(value, "command", raw.command) && readField(value, "args", raw.args) &&
                    readField(value, "env", raw.env) && readField(value, "isProxy", raw.isProxy) &&
                    readField(value, "type", raw.type) && readField(value, "url", raw.url) &&
                    readField(value, "headers", raw.headers);
    if (!ok)
        return std::nullopt;
    return raw;
}

namespace {

using Index = JsonDocument::Index;
using Kind = JsonDocument::Kind;

QString text(const JsonDocument &document, Index value, std::string &scratch)
{
    const std::string_view decoded = document.string(value, scratch);
    return textFromUtf8(std::string_view(decoded.data(), decoded.size()));
}

// Each reader leaves the field unset for null and fails (false) on any other wrong kind.
bool read(const JsonDocument &document, Index value, std::optional<QString> &field, std::string &scratch)
{
    if (document.kind(value) != Kind::string)
        return false;
    field = text(document, value, scratch);
    return true;
}

bool read(const JsonDocument &document, Index value, std::optional<bool> &field, std::string &)
{
    if (document.kind(value) != Kind::boolean)
        return false;
    field = document.boolean(value);
    return true;
}

bool read(const JsonDocument &document, Index value, std::optional<QStringList> &field, std::string &scratch)
{
    if (document.kind(value) != Kind::array)
        return false;
    QStringList list;
    bool ok = true;
    document.forEachElement(value, [&](Index element) {
        ok = ok && document.kind(element) == Kind::string;
        if (ok)
            list.append(text(document, element, scratch));
    });
    if (ok)
        field = std::move(list);
    return ok;
}

bool read(const JsonDocument &document, Index value, std::optional<QMap<QString, QString>> &field,
          std::string &scratch)
{
    if (document.kind(value) != Kind::object)
        return false;
    // Only the last of duplicated keys has to be a string.
    QMap<QString, Index> last;
    document.forEachMember(
        value, [&](Index key, Index member) { last.insert(text(document, key, scratch), member); });
    QMap<QString, QString> map;
    for (auto it = last.cbegin(); it != last.cend(); ++it) {
        if (document.kind(*it) != Kind::string)
            return false;
        map.insert(it.key(), text(document, *it, scratch));
    }
    field = std::move(map);
    return true;
}

template<typename T>
bool readField(const JsonDocument &document, std::optional<Index> value, std::optional<T> &field,
               std::string &scratch)
{
    return !value || document.kind(*value) == Kind::null || read(document, *value, field, scratch);
}

} // namespace

std::optional<MCPServerRaw> MCPServerRaw::decode(const JsonDocument &document, Index value)
{
    if (document.kind(value) != Kind::object)
        return std::nullopt;
    // One pass over the members; an unknown member is never looked into, however large.
    enum Key
    {
        command,
        args,
        env,
        isProxy,
        type,
        url,
        headers,
        count
    };
    static constexpr std::string_view names[count] = {"command", "args", "env",    "isProxy",
                                                      "type",    "url",  "headers"};
    std::optional<Index> members[count];
    std::string scratch;
    document.forEachMember(value, [&](Index key, Index member) {
        const std::string_view name = document.string(key, scratch);
        for (int at = 0; at < count; ++at)
            if (name == names[at])
                members[at] = member;
    });
    MCPServerRaw raw;
    const bool ok = readField(document, members[command], raw.command, scratch) &&
                    readField(document, members[args], raw.args, scratch) &&
                    readField(document, members[env], raw.env, scratch) &&
                    readField(document, members[isProxy], raw.isProxy, scratch) &&
                    readField(document, members[type], raw.type, scratch) &&
                    readField(document, members[url], raw.url, scratch) &&
                    readField(document, members[headers], raw.headers, scratch);
    if (!ok)
        return std::nullopt;
    return raw;
}

nlohmann::json MCPServerRaw::encode() const
{
    nlohmann::json object = nlohmann::json::object();
    writeField(object, "command", command);
    writeField(object, "args", args);
    writeField(object, "env", env);
    writeField(object, "isProxy", isProxy);
    writeField(object, "type", type);
    writeField(object, "url", url);
    writeField(object, "headers", headers);
    return object;
}
