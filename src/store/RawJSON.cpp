#include "RawJSON.h"

#include <nlohmann/json.hpp>

#include <cmath>

namespace {

// The largest double below 2^63; anything at or above 2^63 does not fit an int64.
constexpr double kInt64Bound = 9223372036854775808.0;

RawJSON numberFromText(const nlohmann::json &number)
{
    if (number.is_number_integer() && !number.is_number_unsigned())
        return RawJSON(number.get<std::int64_t>());
    if (number.is_number_unsigned()) {
        const auto value = number.get<std::uint64_t>();
        if (value <= static_cast<std::uint64_t>(INT64_MAX))
            return RawJSON(static_cast<std::int64_t>(value));
        return RawJSON(static_cast<double>(value));
    }
    const double value = number.get<double>();
    if (std::isfinite(value) && std::trunc(value) == value && value >= -kInt64Bound && value < kInt64Bound)
        return RawJSON(static_cast<std::int64_t>(value));
    return RawJSON(value);
}

} // namespace

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

std::optional<RawJSON> RawJSON::fromGeneric(const nlohmann::json &value)
{
    switch (value.type()) {
    case nlohmann::json::value_t::null:
        return RawJSON(Null{});
    case nlohmann::json::value_t::boolean:
        return RawJSON(value.get<bool>());
    case nlohmann::json::value_t::number_integer:
        return RawJSON(value.get<std::int64_t>());
    case nlohmann::json::value_t::number_unsigned: {
        const auto number = value.get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(INT64_MAX))
            return RawJSON(static_cast<double>(number));
        return RawJSON(static_cast<std::int64_t>(number));
    }
    case nlohmann::json::value_t::number_float:
        return RawJSON(value.get<double>());
    case nlohmann::json::value_t::string:
        return RawJSON(value.get<std::string>());
    case nlohmann::json::value_t::array: {
        Array array;
        for (const auto &element : value) {
            auto converted = fromGeneric(element);
            if (!converted)
                return std::nullopt;
            array.push_back(std::move(*converted));
        }
        return RawJSON(std::move(array));
    }
    case nlohmann::json::value_t::object: {
        Object object;
        for (const auto &[key, member] : value.items()) {
            auto converted = fromGeneric(member);
            if (!converted)
                return std::nullopt;
            object.emplace(key, std::move(*converted));
        }
        return RawJSON(std::move(object));
    }
    default:
        return std::nullopt;
    }
}

nlohmann::json RawJSON::toGeneric() const
{
    return std::visit(
        [](const auto &payload) -> nlohmann::json {
            using T = std::decay_t<decltype(payload)>;
            if constexpr (std::is_same_v<T, Null>) {
                return nullptr;
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
