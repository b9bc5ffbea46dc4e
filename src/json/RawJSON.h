#pragma once

#include "json/JsonDocument.h"

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// A JSON value held without loss: a stashed server definition keeps every member, including
// those Quorlane does not understand, until it is put back. Integers and floating-point numbers
// are different values (int 1 != double 1.0); objects compare as maps. A number that neither
// holds (an integer beyond 64 bits, -0, 1e400) keeps its text, and strings keep a lone
// surrogate (WTF-8), so a definition comes back exactly as it went.
class RawJSON
{
public:
    using Array = std::vector<RawJSON>;
    using Object = std::map<std::string, RawJSON>;
    struct Null
    {
        bool operator==(const Null &) const = default;
    };
    // A number kept as written: its value lies beyond what an int or a double holds.
    struct Number
    {
        std::string text;
        bool operator==(const Number &) const = default;
    };
    using Value = std::variant<bool, std::int64_t, double, std::string, Array, Object, Null, Number>;

    // Values are built, compared, converted and destroyed by recursion: none nests deeper than
    // this (deeper definitions are refused when they are read).
    static constexpr int kMaxDepth = 256;

    RawJSON() : m_value(Null{}) {}
    RawJSON(Value value) : m_value(std::move(value)) {}

    [[nodiscard]] const Value &value() const { return m_value; }
    bool operator==(const RawJSON &) const = default;

    // How a number's text becomes a value.
    enum class Numbers
    {
        // As a JSON text value is decoded (the stash, project records): a whole number within
        // the signed 64-bit range becomes an integer even when written as 1.0 or 1e2.
        byValue,
        // As a live definition is stashed: written as an integer it is an integer, written with a
        // fraction or an exponent a double.
        byForm
    };

    // The value at `index`; nullopt when it nests deeper than kMaxDepth.
    [[nodiscard]] static std::optional<RawJSON> fromDocument(const JsonDocument &document,
                                                             JsonDocument::Index index, Numbers numbers);
    [[nodiscard]] static RawJSON fromNumberText(std::string_view text, Numbers numbers);

    // Decoding a value of nlohmann's tree (built by code, not read from a file), with the
    // number rule of byValue.
    [[nodiscard]] static RawJSON fromText(const nlohmann::json &parsed);

    // nlohmann's tree, for the typed views (MCPServerRaw): a kept number becomes the nearest
    // double, a lone surrogate stays WTF-8. Never fails.
    [[nodiscard]] nlohmann::json toGeneric() const;

    // Compact JSON text, every value as held: kept numbers as their text, lone surrogates as
    // their escapes, object members in the order of their UTF-8 bytes.
    void appendText(std::string &out) const;
    [[nodiscard]] std::string text() const;

private:
    Value m_value;
};
