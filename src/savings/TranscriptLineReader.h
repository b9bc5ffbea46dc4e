#pragma once

#include <simdjson.h>

#include <cstddef>
#include <optional>

// Decides, for one line of a Claude Code transcript, what the savings count needs to know:
// whether it is a user message and, if so, its date (or that it has none). A line is a user
// message only when the whole line is one valid JSON object whose "type" member is the string
// "user"; anything the JSON reader would reject never counts.
class TranscriptLineReader
{
public:
    enum class Kind
    {
        other,       // not a JSON object, not valid JSON, or not of type "user"
        userMessage, // counts when undated or dated inside the window
        invalidText, // the line is not UTF-8: the whole file is unreadable as text
    };

    struct Line
    {
        Kind kind = Kind::other;
        // Seconds since 1970-01-01T00:00:00Z; none when the line carries no usable timestamp.
        std::optional<double> date;
    };

    // `capacity` counts the readable bytes from `data` on; it must exceed `length` by
    // simdjson::SIMDJSON_PADDING so the parser can read whole blocks past the line's end.
    [[nodiscard]] Line read(const char *data, size_t length, size_t capacity);

private:
    simdjson::ondemand::parser m_parser;
};
