#include "json/JsonDocument.h"

#include "platform/HexDigit.h"
#include "json/LargeBuffer.h"

#include <simdjson.h>

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Eight bytes at a time: whether any of them ends or escapes a string or is a control byte.
bool mayNeedAttention(std::uint64_t word)
{
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    constexpr std::uint64_t highs = 0x8080808080808080ull;
    const auto hasByte = [](std::uint64_t x, std::uint8_t byte) {
        const std::uint64_t y = x ^ (ones * byte);
        return (y - ones) & ~y & highs;
    };
    return (((word - ones * 0x20) & ~word & highs) | hasByte(word, '"') | hasByte(word, '\\')) != 0;
}

} // namespace

// One pass over the text with an explicit stack of open containers, so nesting depth costs
// memory, never the call stack.
class JsonDocumentParser
{
public:
    explicit JsonDocumentParser(JsonDocument &document)
        : m_begin(document.m_bytes.constData()), m_end(m_begin + document.m_bytes.size()),
          m_tape(document.m_tape)
    {}

    // A loop, never recursion: each opening bracket pushes onto m_stack, so a document nested
    // hundreds of thousands deep costs memory, not the call stack, with or without optimisation.
    bool run()
    {
        const char *p = m_begin;
        if (m_end - p >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0)
            p += 3; // a byte-order mark, which nlohmann's reader also skips
        m_stack.reserve(64);
        p = skipSpace(p);
        for (;;) {
            // A value starts at p.
            if (p >= m_end)
                return false;
            if (*p == '{' || *p == '[') {
                const bool object = *p == '{';
                m_stack.push_back(JsonDocument::Index(m_tape.size()));
                push(p);
                m_tape.push_back(0);
                p = skipSpace(p + 1);
                if (p < m_end && *p == (object ? '}' : ']')) {
                    close();
                    ++p;
                } else {
                    p = object ? key(p) : p;
                    if (!p)
                        return false;
                    continue; // the first member's value or the first element
                }
            } else {
                p = scalar(p);
                if (!p)
                    return false;
            }
            // After a value: the end of the text, a comma and the next value, or a closing bracket.
            for (;;) {
                p = skipSpace(p);
                if (m_stack.empty())
                    return p == m_end;
                if (p >= m_end)
                    return false;
                const bool object = m_begin[m_tape[m_stack.back()] & JsonDocument::kOffset] == '{';
                if (*p == ',') {
                    p = skipSpace(p + 1);
                    p = object ? key(p) : p;
                    if (!p)
                        return false;
                    break;
                }
                if (*p != (object ? '}' : ']'))
                    return false;
                close();
                ++p;
            }
        }
    }

private:
    const char *skipSpace(const char *p) const
    {
#if defined(__SSE2__)
        // Indented text puts a newline and a run of spaces before most values.
        while (m_end - p >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
            const __m128i space = _mm_or_si128(
                _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))),
                _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\t'))));
            if (const unsigned other = ~unsigned(_mm_movemask_epi8(space)) & 0xffffu)
                return p + __builtin_ctz(other);
            p += 16;
        }
#endif
        while (p < m_end && isSpace(*p))
            ++p;
        return p;
    }

    void push(const char *p, std::uint32_t flags = 0)
    {
        m_tape.push_back(std::uint32_t(p - m_begin) | flags);
    }

    // A string, number or literal at p; the position after it, or nullptr on an error.
    const char *scalar(const char *p)
    {
        switch (*p) {
        case '"':
            return string(p);
        case 't':
            return literal(p, "true", 4);
        case 'f':
            return literal(p, "false", 5);
        case 'n':
            return literal(p, "null", 4);
        default:
            return number(p);
        }
    }

    // A member's key and its colon; the position of its value.
    const char *key(const char *p)
    {
        if (p >= m_end || *p != '"')
            return nullptr;
        p = string(p);
        if (!p)
            return nullptr;
        p = skipSpace(p);
        if (p >= m_end || *p != ':')
            return nullptr;
        return skipSpace(p + 1);
    }

    void close()
    {
        m_tape[m_stack.back() + 1] = std::uint32_t(m_tape.size());
        m_stack.pop_back();
    }

    // The first byte at or after p that ends or escapes a string or is a control byte; m_end when
    // there is none. Sixteen bytes at a time where the processor has SSE2 (every x86-64), eight
    // elsewhere: strings are most of the text.
    const char *stringAttention(const char *p) const
    {
#if defined(__SSE2__)
        const __m128i quote = _mm_set1_epi8('"');
        const __m128i backslash = _mm_set1_epi8('\\');
        const __m128i control = _mm_set1_epi8(0x1f);
        while (m_end - p >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
            const __m128i hit =
                _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, backslash)),
                             _mm_cmpeq_epi8(_mm_max_epu8(v, control), control));
            if (const int mask = _mm_movemask_epi8(hit))
                return p + __builtin_ctz(unsigned(mask));
            p += 16;
        }
#endif
        while (m_end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            if (mayNeedAttention(word))
                break;
            p += 8;
        }
        while (p < m_end) {
            const auto c = static_cast<unsigned char>(*p);
            if (c == '"' || c == '\\' || c < 0x20)
                return p;
            ++p;
        }
        return m_end;
    }

    const char *string(const char *p)
    {
        const char *start = p++;
        bool escaped = false;
        for (;;) {
            p = stringAttention(p);
            if (p >= m_end)
                return nullptr;
            const auto c = static_cast<unsigned char>(*p);
            if (c == '"')
                break;
            if (c < 0x20)
                return nullptr;
            escaped = true;
            p = escape(p + 1);
            if (!p)
                return nullptr;
        }
        push(start, escaped ? JsonDocument::kEscaped : 0);
        return p + 1;
    }

    // Any \uXXXX is accepted, a lone surrogate too, as JSON.parse does.
    const char *escape(const char *p) const
    {
        if (p >= m_end)
            return nullptr;
        switch (*p) {
        case '"':
        case '\\':
        case '/':
        case 'b':
        case 'f':
        case 'n':
        case 'r':
        case 't':
            return p + 1;
        case 'u':
            if (m_end - p < 5)
                return nullptr;
            for (int i = 1; i <= 4; ++i)
                if (hexDigitValue(p[i]) < 0)
                    return nullptr;
            return p + 5;
        default:
            return nullptr;
        }
    }

    const char *literal(const char *p, const char *word, std::size_t length)
    {
        if (std::size_t(m_end - p) < length || std::memcmp(p, word, length) != 0)
            return nullptr;
        push(p);
        return p + length;
    }

    // -? (0 | [1-9][0-9]*) (. [0-9]+)? ([eE] [+-]? [0-9]+)?
    const char *number(const char *p)
    {
        const char *start = p;
        if (p < m_end && *p == '-')
            ++p;
        if (p >= m_end || !isDigit(*p))
            return nullptr;
        if (*p++ != '0')
            while (p < m_end && isDigit(*p))
                ++p;
        if (p < m_end && *p == '.') {
            if (++p >= m_end || !isDigit(*p))
                return nullptr;
            while (p < m_end && isDigit(*p))
                ++p;
        }
        if (p < m_end && (*p == 'e' || *p == 'E')) {
            if (++p < m_end && (*p == '+' || *p == '-'))
                ++p;
            if (p >= m_end || !isDigit(*p))
                return nullptr;
            while (p < m_end && isDigit(*p))
                ++p;
        }
        push(start);
        return p;
    }

    const char *m_begin;
    const char *m_end;
    std::vector<std::uint32_t> &m_tape;
    std::vector<JsonDocument::Index> m_stack; // tape indices of the open containers
};

std::optional<JsonDocument> JsonDocument::parse(const QByteArray &bytes)
{
    if (std::size_t(bytes.size()) > kOffset)
        return std::nullopt;
    // Outside strings only ASCII is valid JSON, so checking the whole text checks every string.
    if (!simdjson::validate_utf8(bytes.constData(), std::size_t(bytes.size())))
        return std::nullopt;
    LargeBuffer::returnLargeBlocks();
    JsonDocument document;
    document.m_bytes = bytes;
    // About one value per 20 bytes in Claude Code's files; growing past that is rare.
    document.m_tape.reserve(std::size_t(bytes.size()) / 16 + 16);
    LargeBuffer::advise(document.m_tape.data(), document.m_tape.capacity() * sizeof(std::uint32_t));
    if (!JsonDocumentParser(document).run())
        return std::nullopt;
    return document;
}

JsonDocument::Kind JsonDocument::kind(Index value) const
{
    switch (m_bytes.constData()[offset(value)]) {
    case '{':
        return Kind::object;
    case '[':
        return Kind::array;
    case '"':
        return Kind::string;
    case 't':
    case 'f':
        return Kind::boolean;
    case 'n':
        return Kind::null;
    default:
        return Kind::number;
    }
}

JsonDocument::Index JsonDocument::next(Index value) const
{
    const char c = m_bytes.constData()[offset(value)];
    return (c == '{' || c == '[') ? m_tape[value + 1] : value + 1;
}

std::optional<JsonDocument::Index> JsonDocument::member(Index object, std::string_view key) const
{
    std::optional<Index> found;
    std::string scratch;
    const char *end = m_bytes.constData() + m_bytes.size();
    forEachMember(object, [&](Index name, Index value) {
        // Most keys have no escape: their text is compared in place, without finding its end.
        if (!hasEscapes(name)) {
            const char *text = m_bytes.constData() + offset(name) + 1;
            if (std::size_t(end - text) > key.size() && std::memcmp(text, key.data(), key.size()) == 0 &&
                text[key.size()] == '"')
                found = value;
            return;
        }
        if (string(name, scratch) == key)
            found = value;
    });
    return found;
}

std::string_view JsonDocument::rawString(Index value) const
{
    const char *begin = m_bytes.constData() + offset(value) + 1;
    const char *end = m_bytes.constData() + m_bytes.size();
    if (!hasEscapes(value))
        return {begin,
                std::size_t(static_cast<const char *>(std::memchr(begin, '"', std::size_t(end - begin))) -
                            begin)};
    const char *p = begin;
    while (*p != '"')
        p += *p == '\\' ? 2 : 1; // the parser checked the text: a quote always follows
    return {begin, std::size_t(p - begin)};
}

std::string_view JsonDocument::string(Index value, std::string &scratch) const
{
    if (!hasEscapes(value))
        return rawString(value);
    scratch.clear();
    decodeString(rawString(value), scratch);
    return scratch;
}

std::string JsonDocument::string(Index value) const
{
    std::string scratch;
    return std::string(string(value, scratch));
}

std::string_view JsonDocument::numberText(Index value) const
{
    const char *begin = m_bytes.constData() + offset(value);
    const char *end = m_bytes.constData() + m_bytes.size();
    const char *p = begin;
    while (p < end && (isDigit(*p) || *p == '-' || *p == '+' || *p == '.' || *p == 'e' || *p == 'E'))
        ++p;
    return {begin, std::size_t(p - begin)};
}

bool JsonDocument::boolean(Index value) const
{
    return m_bytes.constData()[offset(value)] == 't';
}

namespace {

void appendUtf8(std::string &out, std::uint32_t codePoint)
{
    if (codePoint < 0x80) {
        out.push_back(char(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(char(0xC0 | (codePoint >> 6)));
        out.push_back(char(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        // Lone surrogates land here too: their three-byte (WTF-8) form.
        out.push_back(char(0xE0 | (codePoint >> 12)));
        out.push_back(char(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(char(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (codePoint >> 18)));
        out.push_back(char(0x80 | ((codePoint >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(char(0x80 | (codePoint & 0x3F)));
    }
}

std::uint32_t hex4(const char *p)
{
    return std::uint32_t((hexDigitValue(p[0]) << 12) | (hexDigitValue(p[1]) << 8) |
                         (hexDigitValue(p[2]) << 4) | hexDigitValue(p[3]));
}

} // namespace

void JsonDocument::decodeString(std::string_view raw, std::string &out)
{
    const char *p = raw.data();
    const char *end = p + raw.size();
    while (p < end) {
        const char *backslash = static_cast<const char *>(std::memchr(p, '\\', std::size_t(end - p)));
        if (!backslash) {
            out.append(p, std::size_t(end - p));
            return;
        }
        out.append(p, std::size_t(backslash - p));
        p = backslash + 1;
        const char c = *p++;
        switch (c) {
        case 'b':
            out.push_back('\b');
            break;
        case 'f':
            out.push_back('\f');
            break;
        case 'n':
            out.push_back('\n');
            break;
        case 'r':
            out.push_back('\r');
            break;
        case 't':
            out.push_back('\t');
            break;
        case 'u': {
            std::uint32_t unit = hex4(p);
            p += 4;
            // A high surrogate directly followed by an escaped low one is one code point.
            if (unit >= 0xD800 && unit <= 0xDBFF && end - p >= 6 && p[0] == '\\' && p[1] == 'u') {
                const std::uint32_t low = hex4(p + 2);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                    p += 6;
                }
            }
            appendUtf8(out, unit);
            break;
        }
        default:
            out.push_back(c);
            break; // " \ /
        }
    }
}

void JsonDocument::appendEscaped(std::string_view text, std::string &out)
{
    static constexpr char hex[] = "0123456789abcdef";
    const auto escapeUnit = [&out](unsigned unit) {
        const char escape[6] = {
            '\\',           'u', hex[(unit >> 12) & 0xF], hex[(unit >> 8) & 0xF], hex[(unit >> 4) & 0xF],
            hex[unit & 0xF]};
        out.append(escape, 6);
    };
    out.push_back('"');
    const char *p = text.data();
    const char *end = p + text.size();
    const char *run = p;
    while (p < end) {
        const auto c = static_cast<unsigned char>(*p);
        const bool surrogate = c == 0xED && end - p >= 3 && (static_cast<unsigned char>(p[1]) & 0xE0) == 0xA0;
        if (c >= 0x20 && c != '"' && c != '\\' && !surrogate) {
            ++p;
            continue;
        }
        out.append(run, std::size_t(p - run));
        std::size_t length = 1;
        switch (c) {
        case '"':
            out.append("\\\"", 2);
            break;
        case '\\':
            out.append("\\\\", 2);
            break;
        case '\b':
            out.append("\\b", 2);
            break;
        case '\f':
            out.append("\\f", 2);
            break;
        case '\n':
            out.append("\\n", 2);
            break;
        case '\r':
            out.append("\\r", 2);
            break;
        case '\t':
            out.append("\\t", 2);
            break;
        default:
            if (surrogate) {
                escapeUnit(0xD000u | ((unsigned(static_cast<unsigned char>(p[1])) & 0x3Fu) << 6) |
                           (unsigned(static_cast<unsigned char>(p[2])) & 0x3Fu));
                length = 3;
            } else {
                escapeUnit(c);
            }
        }
        p += length;
        run = p;
    }
    out.append(run, std::size_t(p - run));
    out.push_back('"');
}
