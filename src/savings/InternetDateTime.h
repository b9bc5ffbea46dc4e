#pragma once

#include <optional>
#include <string_view>

// Reads an internet date-time, "2025-01-31T09:15:00Z", "2025-01-31T09:15:00.123Z" or
// "2025-01-31T09:15:00+02:00", and returns the seconds since 1970-01-01T00:00:00Z. Anything
// else (a missing zone designator, out-of-range fields) has no date.
std::optional<double> parseInternetDateTime(std::string_view text);
