#include "probe/ProbeMessages.h"
#include "platform/Utf8Text.h"

#include <simdjson.h>

#include <algorithm>

namespace ProbeMessages {

nlohmann::json initializeRequest()
{
    return {{"jsonrpc", "2.0"},
            {"id", initializeId},
            {"method", "initialize"},
            {"params",
             {{"protocolVersion", "2024-11-05"},
              {"capabilities", nlohmann::json::object()},
              {"clientInfo", {{"name", "quorlane"}, {"version", "1.0"}}}}}};
}

nlohmann::json initializedNotification()
{
    return {{"jsonrpc", "2.0"}, {"method", "notifications/initialized"}};
}

nlohmann::json toolsListRequest()
{
    return {{"jsonrpc", "2.0"},
            {"id", toolsListId},
            {"method", "tools/list"},
            {"params", nlohmann::json::object()}};
}

QByteArray writeCompact(const nlohmann::json &value)
{
    const std::string text = value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    QByteArray bytes;
    bytes.reserve(qsizetype(text.size() + text.size() / 16));
    // In compact output a "/" can only stand inside a string, where "\/" means the same.
    for (const char c : text) {
        if (c == '/')
            bytes.append('\\');
        bytes.append(c);
    }
    return bytes;
}

std::optional<nlohmann::json> toolsOf(const nlohmann::json &message)
{
    if (!message.is_object())
        return std::nullopt;
    const auto result = message.find("result");
    if (result == message.end() || !result->is_object())
        return std::nullopt;
    const auto tools = result->find("tools");
    if (tools == result->end() || !tools->is_array())
        return std::nullopt;
    for (const auto &tool : *tools) {
        if (!tool.is_object())
            return std::nullopt;
    }
    return *tools;
}

std::optional<nlohmann::json> responseTo(QByteArrayView text, int id)
{
    nlohmann::json message = nlohmann::json::parse(text.begin(), text.end(), nullptr, false);
    if (!message.is_object() || message.contains("method"))
        return std::nullopt;
    const auto found = message.find("id");
    if (found == message.end() || !found->is_number() || *found != id)
        return std::nullopt;
    return message;
}

std::optional<nlohmann::json> toolsOfText(const char *begin, const char *end)
{
    const nlohmann::json value = nlohmann::json::parse(begin, end, nullptr, false);
    if (value.is_discarded())
        return std::nullopt;
    return toolsOf(value);
}

qint64 estimateTokens(qint64 byteCount)
{
    return std::max(byteCount / 4, fallbackTokens);
}

ProbeResult measureTools(const nlohmann::json &tools)
{
    ProbeResult result;
    result.measured = true;
    // "[" + tool + "," + tool + … + "]": every piece but the first starts after a comma.
    qint64 end = 1;
    qint64 counted = 0;
    for (const nlohmann::json &tool : tools) {
        end += writeCompact(tool).size() + 1; // its comma, or the closing bracket
        const auto name = tool.find("name");
        result.tools.append({name != tool.end() && name->is_string()
                                 ? textFromUtf8(std::string_view(name->get_ref<const std::string &>()))
                                 : QString(),
                             end / 4 - counted});
        counted = end / 4;
    }
    if (tools.empty())
        end = 2;
    result.tokensPerMessage = estimateTokens(end);
    std::stable_sort(result.tools.begin(), result.tools.end(),
                     [](const ToolTokens &a, const ToolTokens &b) { return a.tokens > b.tokens; });
    return result;
}

bool isValidUtf8(QByteArrayView bytes)
{
    return simdjson::validate_utf8(bytes.constData(), size_t(bytes.size()));
}

} // namespace ProbeMessages
