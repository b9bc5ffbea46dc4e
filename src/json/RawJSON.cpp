#include "json/RawJSON.h"

#include "json/JsonNumber.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>

namespace {

// The largest double below 2^63; anything at or above 2^63 does not fit an int64.
constexpr double kInt64Bound = 9223372036854775808.0;

bool isNegativeZero(double value)
{
    return value == 0 && std::signbit(value);
}

std::optional<RawJSON> build(const JsonDocument &document, JsonDocument::Index index,
                             RawJSON::Numbers numbers, int depth)
{
    using Kind = JsonDocument::Kind;
    switch (document.kind(index)) {
    case Kind::object: {
        if (depth >= RawJSON::kMaxDepth)
            return std::nullopt;
        RawJSON::Object object;
        bool ok = true;
        std::string scratch;
        document.forEachMember(index, [&](JsonDocument::Index key, JsonDocument::Index value) {
            auto member = ok ? build(document, value, numbers, depth + 1) : std::nullopt;
            ok = member.has_value();
            if (ok)
                object.insert_or_assign(std::string(document.string(key, scratch)), std::move(*member));
        });
        return ok ? std::optional(RawJSON(std::move(object))) : std::nullopt;
    }
    case Kind::array: {
        if (depth >= RawJSON::kMaxDepth)
            return std::nullopt;
        RawJSON::Array array;
        bool ok = true;
        document.forEachElement(index, [&](JsonDocument::Index element) {
            auto value = ok ? build(document, element, numbers, depth + 1) : std::nullopt;
            ok = value.has_value();
            if (ok)
                array.push_back(std::move(*value));
        });
        return ok ? std::optional(RawJSON(std::move(array))) : std::nullopt;
    }
    case Kind::string:
        return RawJSON(document.string(index));
    case Kind::number:
        return RawJSON::fromNumberText(document.numberText(index), numbers);
    case Kind::boolean:
        return RawJSON(document.boolean(index));
    case Kind::null:
        return RawJSON();
    }
    return std::nullopt;
}

RawJSON numberFromText(const nlohmann::json &number)
{
    if (number.is_number_integer() && !number.is_number_unsigned())
        return RawJSON(number.get<std::int64_t>());
    if (number.is_number_unsigned()) {
        const auto value = number.get<std::uint64_t>();
        if (value <= static_cast<std::uint64_t>(INT64_MAX))
            return RawJSON(static_cast<std::int64_t>(value));
        return RawJSON(RawJSON::Number{std::to_string(value)});
    }
    const double value = number.get<double>();
    if (std::isfinite(value) && std::trunc(value) == value && value >= -kInt64Bound && value < kInt64Bound &&
        !isNegativeZero(value))
        return RawJSON(static_cast<std::int64_t>(value));
    return RawJSON(value);
}

} // namespace

std::optional<RawJSON> RawJSON::fromDocument(const JsonDocument &document, JsonDocument::Index index,
                                             Numbers numbers)
{
    return build(document, index, numbers, 0);
}

RawJSON RawJSON::fromNumberText(std::string_view text, Numbers numbers)
{
    if (JsonNumber::isIntegerText(text)) {
        std::int64_t value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        // "-0" is the one integer text whose value an int64 loses.
        if (error == std::errc() && end == text.data() + text.size() && text != "-0")
            return RawJSON(value);
        return RawJSON(Number{std::string(text)});
    }
    const auto value = JsonNumber::toDouble(text);
    if (!value)
        return RawJSON(Number{std::string(text)});
    if (numbers == Numbers::byValue && std::trunc(*value) == *value && *value >= -kInt64Bound &&
        *value < kInt64Bound && !isNegativeZero(*value))
        return RawJSON(static_cast<std::int64_t>(*value));
    return RawJSON(*value);
}

RawJSON RawJSON::fromText(const nlohmann::json &parsed)
{
    switch (parsed.type()) {
    case nlohmann::json::value_t::boolean:
        return RawJSON(parsed.get<bool>());
    case nlohmann::json::value_t::number_integer:
    case nlohmann::json::value_t::number_unsigned:
    case nlohmann::json::value_t::number_float:
        return numberFromText(parsed);
    case nlohmann::json::value_t::string:
        return RawJSON(parsed.get<std::string>());
    case nlohmann::json::value_t::array: {
        Array array;
        array.reserve(parsed.size());
        for (const auto &element : parsed)
            array.push_back(fromText(element));
        return RawJSON(std::move(array));
    }
    case nlohmann::json::value_t::object: {
        Object object;
        for (const auto &[key, member] : parsed.items())
            object.emplace(key, fromText(member));
        return RawJSON(std::move(object));
    }
    default:
        return RawJSON(Null{});
    }
}

nlohmann::json RawJSON::toGeneric() const
{
    return std::visit(
        [](const auto &payload) -> nlohmann::json {
            using T = std::decay_t<decltype(payload)>;
            if constexpr (std::is_same_v<T, Null>) {
                return nullptr;
            } else if constexpr (std::is_same_v<T, Number>) {
                return JsonNumber::toGeneric(payload.text).value_or(JsonNumber::nearestDouble(payload.text));
            } else if constexpr (std::is_same_v<T, Array>) {
                nlohmann::json array = nlohmann::json::array();
                for (const RawJSON &element : payload)
                    array.push_back(element.toGeneric());
                return array;
            } else if constexpr (std::is_same_v<T, Object>) {
                nlohmann::json object = nlohmann::json::object();
                for (const auto &[key, member] : payload)
                    object[key] = member.toGeneric();
                return object;
            } else {
                return payload;
            }
        },
        m_value);
}

void RawJSON::appendText(std::string &out) const
{
    std::visit(
        [&out](const auto &payload) {
            using T = std::decay_t<decltype(payload)>;
            if constexpr (std::is_same_v<T, Null>) {
                out += "null";
            } else if constexpr (std::is_same_v<T, bool>) {
                out += payload ? "true" : "false";
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                out += std::to_string(payload);
            } else if constexpr (std::is_same_v<T, double>) {
                // A double that is not finite is never built from text; as nlohmann wrote it.
                out += std::isfinite(payload) ? JsonNumber::shortest(payload) : std::string("null");
            } else if constexpr (std::is_same_v<T, Number>) {
                out += payload.text;
            } else if constexpr (std::is_same_v<T, std::string>) {
                JsonDocument::appendEscaped(payload, out);
            } else if constexpr (std::is_same_v<T, Array>) {
                out.push_back('[');
                for (std::size_t i = 0; i < payload.size(); ++i) {
                    if (i > 0)
                        out.push_back(',');
                    payload[i].appendText(out);
                }
                out.push_back(']');
            } else {
                out.push_back('{');
                bool first = true;
                for (const auto &[key, member] : payload) {
                    if (!first)
                        out.push_back(',');
                    first = false;
                    JsonDocument::appendEscaped(key, out);
                    out.push_back(':');
                    member.appendText(out);
                }
                out.push_back('}');
            }
        },
        m_value);
}

std::string RawJSON::text() const
{
    std::string out;
    appendText(out);
    return out;
}
