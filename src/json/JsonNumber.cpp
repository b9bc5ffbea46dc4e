#include "json/JsonNumber.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>
#if defined(__APPLE__)
#include <xlocale.h>
#endif

namespace JsonNumber {

namespace {

// strtod alone reads the decimal point of the user's locale (a comma in many), and
// std::from_chars into a double is missing from some standard libraries (Apple's): strtod_l with
// the C locale exists on both systems this runs on.
locale_t cLocale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return locale;
}

} // namespace

bool isIntegerText(std::string_view text)
{
    return text.find_first_of(".eE") == std::string_view::npos;
}

namespace {

// strtod_l needs the text terminated; numbers are short.
double parse(std::string_view text, bool &exact)
{
    char small[64];
    std::string large;
    const char *terminated = small;
    if (text.size() < sizeof small) {
        text.copy(small, text.size());
        small[text.size()] = '\0';
    } else {
        large.assign(text);
        terminated = large.c_str();
    }
    errno = 0;
    char *end = nullptr;
    const double value = strtod_l(terminated, &end, cLocale());
    exact = errno != ERANGE && end == terminated + text.size() && std::isfinite(value);
    return value;
}

} // namespace

std::optional<double> toDouble(std::string_view text)
{
    bool exact = false;
    const double value = parse(text, exact);
    return exact ? std::optional(value) : std::nullopt;
}

double nearestDouble(std::string_view text)
{
    bool exact = false;
    return parse(text, exact);
}

std::optional<nlohmann::json> toGeneric(std::string_view text)
{
    if (isIntegerText(text)) {
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
    }
    const auto value = toDouble(text);
    return value ? std::optional(nlohmann::json(*value)) : std::nullopt;
}

std::string shortest(double value)
{
    char buffer[64];
    char *last = nlohmann::detail::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, std::size_t(last - buffer));
}

} // namespace JsonNumber
