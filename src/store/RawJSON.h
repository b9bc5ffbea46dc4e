#pragma once

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// A JSON value held without loss: a stashed server definition keeps every member, including
// those Quorlane does not understand, until it is put back. Integers and floating-point numbers
// are different values (int 1 != double 1.0); objects compare as maps.
class RawJSON
{
public:
    using Array = std::vector<RawJSON>;
    using Object = std::map<std::string, RawJSON>;
    struct Null
    {
        bool operator==(const Null &) const = default;
    };
    using Value = std::variant<bool, std::int64_t, double, std::string, Array, Object, Null>;

    RawJSON() : m_value(Null{}) {}
    RawJSON(Value value) : m_value(std::move(value)) {}

    [[nodiscard]] const Value &value() const { return m_value; }
    bool operator==(const RawJSON &) const = default;

    // Decoding a JSON text value: a whole number within the signed 64-bit range becomes an
    // integer even when written as 1.0 or 1e2; every other number is a double.
    [[nodiscard]] static RawJSON fromText(const nlohmann::json &parsed);

    // Converting a value of the generic tree when a live definition is stashed: the number
    // kinds stay as the parser produced them (an integer beyond the signed 64-bit range becomes
    // a double rather than wrapping). Fails (nullopt) on a value that is not plain JSON.
    [[nodiscard]] static std::optional<RawJSON> fromGeneric(const nlohmann::json &value);

    // Back to the generic tree when a stashed definition is put back; never fails.
    [[nodiscard]] nlohmann::json toGeneric() const;

private:
    Value m_value;
};
