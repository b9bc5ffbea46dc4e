#pragma once

#include <nlohmann/json_fwd.hpp>

#include <optional>
#include <string>
#include <string_view>

// JSON numbers by their text, the same way wherever the store reads or writes one.
namespace JsonNumber {

// Whether the text is a whole number written without a fraction or an exponent ("12", "-0").
[[nodiscard]] bool isIntegerText(std::string_view text);

// The double nearest to a JSON number's text, read the same in every locale. Nullopt when the
// value lies beyond a double's range (1e400) or so close to zero that a double loses it
// (1e-400): only the text keeps such a number.
[[nodiscard]] std::optional<double> toDouble(std::string_view text);

// The same where a double holds it; otherwise the nearest a double comes (an infinity, zero).
[[nodiscard]] double nearestDouble(std::string_view text);

// As nlohmann's reader builds a number: a negative integer as int64, a non-negative one as
// uint64, and an integer too long for either, or any number with a fraction or an exponent, as
// a double. Nullopt when no double holds it (1e400).
[[nodiscard]] std::optional<nlohmann::json> toGeneric(std::string_view text);

// The shortest text that reads back as the same double, with ".0" on a whole number: the form
// the generic tree's writer used.
[[nodiscard]] std::string shortest(double value);

} // namespace JsonNumber
