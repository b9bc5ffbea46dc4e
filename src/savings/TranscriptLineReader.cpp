#include "savings/TranscriptLineReader.h"

#include "savings/InternetDateTime.h"

#include <cstring>
#include <string_view>

namespace ondemand = simdjson::ondemand;

namespace {

using namespace std::string_view_literals;

// The nesting the JSON reader accepts; deeper lines are rejected rather than risking the stack.
constexpr int maximumDepth = 512;

// The indexer has already checked that a string is closed, holds no raw control character and
// is UTF-8; what remains is its escapes. The common ones (\n, \", \\ ...) are always valid, so a
// string with no others needs no copy; one with a \u escape or a bad one is unescaped in full.
bool hasOnlyPlainEscapes(ondemand::value &value)
{
    const std::string_view token = value.raw_json_token();
    const char *at = token.data();
    const char *const end = token.data() + token.size();
    while ((at = static_cast<const char *>(std::memchr(at, '\\', static_cast<size_t>(end - at))))) {
        if (at + 1 >= end)
            return false;
        switch (at[1]) {
        case '"':
        case '\\':
        case '/':
        case 'b':
        case 'f':
        case 'n':
        case 'r':
        case 't':
            at += 2;
            break;
        default:
            return false;
        }
    }
    return true;
}

bool isValid(ondemand::value value, int depth);

bool hasValidMembers(ondemand::object &object, int depth)
{
    for (auto field : object) {
        std::string_view key;
        ondemand::value member;
        if (field.unescaped_key().get(key) || field.value().get(member) || !isValid(member, depth))
            return false;
    }
    return true;
}

// The first pass is lazy and skips nested values without checking them, so a line that looks
// like a user message is walked again in full: every escape checked, every number read,
// every bracket matched, nothing after the root value.
bool isValid(ondemand::value value, int depth)
{
    if (depth > maximumDepth)
        return false;
    ondemand::json_type type;
    if (value.type().get(type))
        return false;
    switch (type) {
    case ondemand::json_type::object: {
        ondemand::object object;
        if (value.get_object().get(object))
            return false;
        return hasValidMembers(object, depth + 1);
    }
    case ondemand::json_type::array: {
        ondemand::array array;
        if (value.get_array().get(array))
            return false;
        for (auto element : array) {
            ondemand::value item;
            if (element.get(item) || !isValid(item, depth + 1))
                return false;
        }
        return true;
    }
    case ondemand::json_type::string:
        return hasOnlyPlainEscapes(value) || !value.get_string().error();
    case ondemand::json_type::number:
        return !value.get_double().error();
    case ondemand::json_type::boolean:
        return !value.get_bool().error();
    case ondemand::json_type::null: {
        bool isNull = false;
        return !value.is_null().get(isNull) && isNull;
    }
    }
    return false;
}

bool isValidDocument(ondemand::document &document)
{
    document.rewind();
    ondemand::object object;
    if (document.get_object().get(object) || !hasValidMembers(object, 1))
        return false;
    // Nothing may follow the root object: the location past the last token is out of bounds.
    return document.current_location().error() == simdjson::OUT_OF_BOUNDS;
}

std::optional<double> dateOf(ondemand::value value)
{
    ondemand::json_type type;
    if (value.type().get(type))
        return std::nullopt;
    if (type == ondemand::json_type::number) {
        double seconds;
        if (value.get_double().get(seconds))
            return std::nullopt;
        return seconds;
    }
    if (type == ondemand::json_type::string) {
        std::string_view text;
        if (value.get_string().get(text))
            return std::nullopt;
        return parseInternetDateTime(text);
    }
    return std::nullopt;
}

} // namespace

TranscriptLineReader::Line TranscriptLineReader::read(const char *data, size_t length, size_t capacity)
{
    ondemand::document document;
    const auto error = m_parser.iterate(simdjson::padded_string_view(data, length, capacity)).get(document);
    if (error) {
        // The indexer may stop at a JSON fault before it reports bad UTF-8; the text check
        // decides on its own whether the file as a whole is still readable.
        const bool isText = error != simdjson::UTF8_ERROR && simdjson::validate_utf8(data, length);
        return {isText ? Kind::other : Kind::invalidText, std::nullopt};
    }

    ondemand::object object;
    if (document.get_object().get(object))
        return {};
    // Walk every top-level member: a later duplicate replaces an earlier one, as in a dictionary.
    bool isUser = false;
    std::optional<double> date;
    for (auto field : object) {
        std::string_view key;
        ondemand::value value;
        if (field.unescaped_key().get(key) || field.value().get(value))
            return {};
        if (key == "type"sv) {
            ondemand::json_type type;
            std::string_view text;
            isUser = !value.type().get(type) && type == ondemand::json_type::string &&
                     !value.get_string().get(text) && text == "user"sv;
        } else if (key == "timestamp"sv) {
            date = dateOf(value);
        }
    }
    if (!isUser || !isValidDocument(document))
        return {};
    return {Kind::userMessage, date};
}
