#include "savings/InternetDateTime.h"

#include <cstdint>

namespace {

bool readDigits(std::string_view text, size_t at, size_t count, int &value)
{
    value = 0;
    for (size_t i = at; i < at + count; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

bool isLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's days_from_civil).
int64_t daysFromCivil(int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

} // namespace

std::optional<double> parseInternetDateTime(std::string_view text)
{
    // yyyy-MM-ddTHH:mm:ss, an optional fraction, then Z or ±HH:mm; nothing before or after.
    constexpr size_t secondsEnd = 19;
    if (text.size() < secondsEnd + 1)
        return std::nullopt;
    if (text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':')
        return std::nullopt;

    int year, month, day, hour, minute, second;
    if (!readDigits(text, 0, 4, year) || !readDigits(text, 5, 2, month) || !readDigits(text, 8, 2, day) ||
        !readDigits(text, 11, 2, hour) || !readDigits(text, 14, 2, minute) ||
        !readDigits(text, 17, 2, second))
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 || minute > 59 ||
        second > 59)
        return std::nullopt;

    // Claude Code writes milliseconds ("…:00.123Z"); any number of digits is read.
    size_t zoneAt = secondsEnd;
    double fraction = 0.0;
    if (text[zoneAt] == '.') {
        double scale = 0.1;
        for (++zoneAt; zoneAt < text.size() && text[zoneAt] >= '0' && text[zoneAt] <= '9'; ++zoneAt) {
            fraction += (text[zoneAt] - '0') * scale;
            scale /= 10.0;
        }
        if (zoneAt == secondsEnd + 1 || zoneAt >= text.size())
            return std::nullopt;
    }

    int offsetSeconds = 0;
    const char zone = text[zoneAt];
    if (zone == 'Z') {
        if (text.size() != zoneAt + 1)
            return std::nullopt;
    } else if (zone == '+' || zone == '-') {
        int offsetHours, offsetMinutes;
        if (text.size() != zoneAt + 6 || text[zoneAt + 3] != ':' ||
            !readDigits(text, zoneAt + 1, 2, offsetHours) ||
            !readDigits(text, zoneAt + 4, 2, offsetMinutes) || offsetHours > 23 || offsetMinutes > 59)
            return std::nullopt;
        offsetSeconds = (offsetHours * 60 + offsetMinutes) * 60 * (zone == '-' ? -1 : 1);
    } else {
        return std::nullopt;
    }

    const int64_t days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    const int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second - offsetSeconds;
    return static_cast<double>(seconds) + fraction;
}
