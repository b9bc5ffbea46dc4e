#include "MCPServerRaw.h"

#include "JsonValues.h"

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
