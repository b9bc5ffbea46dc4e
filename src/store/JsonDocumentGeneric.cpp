#include "JsonDocument.h"

#include <nlohmann/json.hpp>

#include <charconv>

// The conversion to nlohmann's tree for the small parts the records decode (a server
// definition, a project's server map). Its depth is bounded by the caller, so recursion is safe.
namespace {

std::optional<nlohmann::json> toDouble(std::string_view text)
{
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt; // beyond a double's range (1e400): not representable there
    return nlohmann::json(value);
}

// As nlohmann reads numbers: a negative integer as int64, a non-negative one as uint64, and an
// integer too long for either, or any number with a fraction or exponent, as a double.
std::optional<nlohmann::json> toNumber(std::string_view text)
{
    if (text.find_first_of(".eE") != std::string_view::npos)
        return toDouble(text);
    const char *begin = text.data();
    const char *end = begin + text.size();
    if (text.front() == '-') {
        std::int64_t value = 0;
        if (std::from_chars(begin, end, value).ec == std::errc())
            return nlohmann::json(value);
    } else {
        std::uint64_t value = 0;
        if (std::from_chars(begin, end, value).ec == std::errc())
            return nlohmann::json(value);
    }
    return toDouble(text);
}

} // namespace

std::optional<nlohmann::json> JsonDocument::toGeneric(Index value, int maxDepth) const
{
    switch (kind(value)) {
    case Kind::object: {
        if (maxDepth <= 0)
            return std::nullopt;
        nlohmann::json object = nlohmann::json::object();
        bool ok = true;
        std::string scratch;
        forEachMember(value, [&](Index key, Index member) {
            if (!ok)
                return;
            auto converted = toGeneric(member, maxDepth - 1);
            ok = converted.has_value();
            if (ok)
                object[std::string(string(key, scratch))] = std::move(*converted); // the last duplicate wins
        });
        return ok ? std::optional(std::move(object)) : std::nullopt;
    }
    case Kind::array: {
        if (maxDepth <= 0)
            return std::nullopt;
        nlohmann::json array = nlohmann::json::array();
        bool ok = true;
        forEachElement(value, [&](Index element) {
            if (!ok)
                return;
            auto converted = toGeneric(element, maxDepth - 1);
            ok = converted.has_value();
            if (ok)
                array.push_back(std::move(*converted));
        });
        return ok ? std::optional(std::move(array)) : std::nullopt;
    }
    case Kind::string:
        return nlohmann::json(string(value));
    case Kind::number:
        return toNumber(numberText(value));
    case Kind::boolean:
        return nlohmann::json(boolean(value));
    case Kind::null:
        return nlohmann::json(nullptr);
    }
    return std::nullopt;
}
