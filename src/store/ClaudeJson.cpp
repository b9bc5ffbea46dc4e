#include "ClaudeJson.h"

#include "ConfigFormats.h"
#include "JsonFile.h"
#include "JsonValues.h"

#include <nlohmann/json.hpp>
#include <simdjson.h>

// The file can be tens of megabytes of Claude Code's own state while the view needs two small
// members, so it is parsed with simdjson (which validates the whole document, UTF-8 included,
// at several GB/s) and only the server maps are copied into generic trees for decoding.
namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

nlohmann::json toGeneric(element value)
{
    switch (value.type()) {
    case element_type::OBJECT: {
        nlohmann::json object = nlohmann::json::object();
        const simdjson::dom::object fields = value;
        for (auto field : fields)
            object[std::string(field.key)] = toGeneric(field.value);
        return object;
    }
    case element_type::ARRAY: {
        nlohmann::json array = nlohmann::json::array();
        const simdjson::dom::array children = value;
        for (element child : children)
            array.push_back(toGeneric(child));
        return array;
    }
    case element_type::STRING:
        return std::string(std::string_view(value));
    case element_type::INT64:
        return int64_t(value);
    case element_type::UINT64:
        return uint64_t(value);
    case element_type::DOUBLE:
        return double(value);
    case element_type::BOOL:
        return bool(value);
    case element_type::NULL_VALUE:
        return nullptr;
    }
    return nullptr;
}

// A present, non-null "mcpServers" member must be a map of valid definitions.
bool readServers(element object, std::optional<MCPServerMap> &servers)
{
    element member;
    if (object["mcpServers"].get(member) != simdjson::SUCCESS || member.is_null())
        return true;
    servers = decodeServerMap(toGeneric(member));
    return servers.has_value();
}

QStringList readDisabledNames(element object)
{
    QStringList names;
    simdjson::dom::array list;
    if (object["disabledMcpServers"].get(list) != simdjson::SUCCESS)
        return names;
    for (element item : list) {
        std::string_view name;
        if (item.get(name) == simdjson::SUCCESS)
            names.append(QString::fromUtf8(name.data(), qsizetype(name.size())));
    }
    return names;
}

std::optional<ClaudeJson> decodeDocument(element root)
{
    if (!root.is_object())
        return std::nullopt;
    ClaudeJson view;
    if (!readServers(root, view.mcpServers))
        return std::nullopt;
    element projects;
    if (root["projects"].get(projects) != simdjson::SUCCESS || projects.is_null())
        return view;
    if (!projects.is_object())
        return std::nullopt;
    view.projects.emplace();
    const simdjson::dom::object projectFields = projects;
    for (auto field : projectFields) {
        if (!field.value.is_object())
            return std::nullopt;
        ClaudeJsonProject project;
        if (!readServers(field.value, project.mcpServers))
            return std::nullopt;
        project.disabledMcpServers = readDisabledNames(field.value);
        view.projects->append({QString::fromUtf8(field.key.data(), qsizetype(field.key.size())), project});
    }
    return view;
}

} // namespace

std::optional<ClaudeJson> ClaudeJson::decode(const QByteArray &bytes)
{
    simdjson::dom::parser parser;
    element root;
    const auto error = parser.parse(bytes.constData(), size_t(bytes.size())).get(root);
    if (error == simdjson::SUCCESS)
        return decodeDocument(root);
    // simdjson refuses integers beyond 64 bits, which are still valid JSON: let the generic
    // parser decide those.
    if (error == simdjson::NUMBER_ERROR) {
        const auto generic = JsonFile::parse(bytes);
        return generic ? decode(*generic) : std::nullopt;
    }
    return std::nullopt;
}

std::optional<ClaudeJson> ClaudeJson::decode(const nlohmann::json &root)
{
    if (!root.is_object())
        return std::nullopt;
    ClaudeJson view;
    const auto readMembers = [](const nlohmann::json &object, std::optional<MCPServerMap> &servers) {
        const auto member = object.find("mcpServers");
        if (member == object.end() || member->is_null())
            return true;
        servers = decodeServerMap(*member);
        return servers.has_value();
    };
    if (!readMembers(root, view.mcpServers))
        return std::nullopt;
    const auto projects = root.find("projects");
    if (projects == root.end() || projects->is_null())
        return view;
    if (!projects->is_object())
        return std::nullopt;
    view.projects.emplace();
    for (const auto &[path, value] : projects->items()) {
        if (!value.is_object())
            return std::nullopt;
        ClaudeJsonProject project;
        if (!readMembers(value, project.mcpServers))
            return std::nullopt;
        const auto disabled = value.find("disabledMcpServers");
        if (disabled != value.end() && disabled->is_array()) {
            for (const auto &name : *disabled) {
                if (name.is_string())
                    project.disabledMcpServers.append(JsonValues::toQString(name.get<std::string>()));
            }
        }
        view.projects->append({JsonValues::toQString(path), project});
    }
    return view;
}
