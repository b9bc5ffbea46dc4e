#include "JsonReference.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace JsonReference {

namespace {

class Reader
{
public:
    Reader(std::string_view text, int maxDepth)
        : m_p(text.data()), m_end(text.data() + text.size()), m_maxDepth(maxDepth)
    {}

    Result run()
    {
        if (m_end - m_p >= 3 && std::memcmp(m_p, "\xEF\xBB\xBF", 3) == 0)
            m_p += 3;
        Result result;
        Value value;
        space();
        const bool ok = read(value, 0) && (space(), m_p == m_end);
        result.tooDeep = m_tooDeep;
        if (ok)
            result.value = std::move(value);
        return result;
    }

private:
    void space()
    {
        while (m_p < m_end && (*m_p == ' ' || *m_p == '\t' || *m_p == '\n' || *m_p == '\r'))
            ++m_p;
    }

    bool take(char c)
    {
        if (m_p < m_end && *m_p == c) {
            ++m_p;
            return true;
        }
        return false;
    }

    bool word(const char *w, Value &value, Value::Kind kind)
    {
        const std::size_t n = std::strlen(w);
        if (std::size_t(m_end - m_p) < n || std::memcmp(m_p, w, n) != 0)
            return false;
        m_p += n;
        value.kind = kind;
        value.text = kind == Value::Kind::boolean ? w : "";
        return true;
    }

    bool read(Value &value, int depth)
    {
        if (m_p >= m_end)
            return false;
        switch (*m_p) {
        case '{':
        case '[':
            if (depth >= m_maxDepth) {
                m_tooDeep = true;
                return false;
            }
            return *m_p == '{' ? object(value, depth) : array(value, depth);
        case '"':
            value.kind = Value::Kind::string;
            return string(value.text);
        case 't':
            return word("true", value, Value::Kind::boolean);
        case 'f':
            return word("false", value, Value::Kind::boolean);
        case 'n':
            return word("null", value, Value::Kind::null);
        default:
            value.kind = Value::Kind::number;
            return number(value.text);
        }
    }

    bool array(Value &value, int depth)
    {
        ++m_p;
        value.kind = Value::Kind::array;
        space();
        if (take(']'))
            return true;
        for (;;) {
            space();
            value.elements.emplace_back();
            if (!read(value.elements.back(), depth + 1))
                return false;
            space();
            if (take(']'))
                return true;
            if (!take(','))
                return false;
        }
    }

    bool object(Value &value, int depth)
    {
        ++m_p;
        value.kind = Value::Kind::object;
        space();
        if (take('}'))
            return finish(value);
        for (;;) {
            space();
            std::string key;
            if (m_p >= m_end || *m_p != '"' || !string(key))
                return false;
            space();
            if (!take(':'))
                return false;
            space();
            value.members.push_back(Member{std::move(key), Value{}});
            if (!read(value.members.back().second, depth + 1))
                return false;
            space();
            if (take('}'))
                return finish(value);
            if (!take(','))
                return false;
        }
    }

    // Sorted by bytes; of equal keys the last written stays.
    static bool finish(Value &value)
    {
        auto &m = value.members;
        std::stable_sort(m.begin(), m.end(), [](const auto &a, const auto &b) {
            return std::lexicographical_compare(
                a.first.begin(), a.first.end(), b.first.begin(), b.first.end(),
                [](char x, char y) { return (unsigned char)x < (unsigned char)y; });
        });
        std::vector<Member> kept;
        for (std::size_t i = 0; i < m.size(); ++i)
            if (i + 1 == m.size() || m[i + 1].first != m[i].first)
                kept.push_back(std::move(m[i]));
        m = std::move(kept);
        return true;
    }

    static void utf8(std::string &out, unsigned cp)
    {
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xC0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += char(0xE0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xF0 | (cp >> 18));
            out += char(0x80 | ((cp >> 12) & 0x3F));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
    }

    bool hex4(unsigned &unit)
    {
        if (m_end - m_p < 4)
            return false;
        unit = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = *m_p++;
            unit <<= 4;
            if (c >= '0' && c <= '9')
                unit |= unsigned(c - '0');
            else if (c >= 'a' && c <= 'f')
                unit |= unsigned(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                unit |= unsigned(c - 'A' + 10);
            else
                return false;
        }
        return true;
    }

    // One UTF-8 sequence, strictly: no overlong forms, no encoded surrogates, nothing past U+10FFFF.
    bool sequence(std::string &out)
    {
        const auto b0 = (unsigned char)*m_p;
        int length = b0 < 0xC2 ? 0 : b0 < 0xE0 ? 2 : b0 < 0xF0 ? 3 : b0 < 0xF5 ? 4 : 0;
        if (length == 0 || m_end - m_p < length)
            return false;
        unsigned cp = b0 & (0xFF >> (length + 1));
        for (int i = 1; i < length; ++i) {
            const auto b = (unsigned char)m_p[i];
            if ((b & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (b & 0x3F);
        }
        if ((length == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
            (length == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        out.append(m_p, std::size_t(length));
        m_p += length;
        return true;
    }

    bool string(std::string &out)
    {
        ++m_p; // the opening quote
        while (m_p < m_end) {
            const auto c = (unsigned char)*m_p;
            if (c == '"') {
                ++m_p;
                return true;
            }
            if (c < 0x20)
                return false;
            if (c >= 0x80) {
                if (!sequence(out))
                    return false;
                continue;
            }
            ++m_p;
            if (c != '\\') {
                out += char(c);
                continue;
            }
            if (m_p >= m_end)
                return false;
            const char e = *m_p++;
            switch (e) {
            case '"':
                out += '"';
                break;
            case '\\':
                out += '\\';
                break;
            case '/':
                out += '/';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                unsigned unit = 0;
                if (!hex4(unit))
                    return false;
                if (unit >= 0xD800 && unit < 0xDC00 && m_end - m_p >= 6 && m_p[0] == '\\' && m_p[1] == 'u') {
                    const char *back = m_p;
                    m_p += 2;
                    unsigned low = 0;
                    if (hex4(low) && low >= 0xDC00 && low < 0xE000) {
                        utf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                        break;
                    }
                    m_p = back;
                }
                utf8(out, unit); // a lone surrogate too
                break;
            }
            default:
                return false;
            }
        }
        return false;
    }

    bool digits()
    {
        const char *start = m_p;
        while (m_p < m_end && *m_p >= '0' && *m_p <= '9')
            ++m_p;
        return m_p > start;
    }

    bool number(std::string &out)
    {
        const char *start = m_p;
        take('-');
        if (take('0')) {
            // no more digits may follow a leading zero
        } else if (!digits()) {
            return false;
        }
        if (take('.') && !digits())
            return false;
        if (m_p < m_end && (*m_p == 'e' || *m_p == 'E')) {
            ++m_p;
            if (!take('+'))
                take('-');
            if (!digits())
                return false;
        }
        out.assign(start, std::size_t(m_p - start));
        return true;
    }

    const char *m_p;
    const char *m_end;
    int m_maxDepth;
    bool m_tooDeep = false;
};

// A number's exact value: its sign, significant digits and power of ten.
struct Exact
{
    bool negative = false;
    std::string digits; // no leading or trailing zeros; empty for zero
    long long exponent = 0;
    bool operator==(const Exact &) const = default;
};

Exact exact(std::string_view text)
{
    Exact e;
    std::size_t i = 0;
    if (i < text.size() && text[i] == '-') {
        e.negative = true;
        ++i;
    }
    std::string all;
    long long fraction = 0;
    bool inFraction = false;
    for (; i < text.size() && text[i] != 'e' && text[i] != 'E'; ++i) {
        if (text[i] == '.') {
            inFraction = true;
            continue;
        }
        all += text[i];
        fraction += inFraction;
    }
    long long power = 0;
    if (i < text.size()) {
        ++i;
        bool minus = false;
        if (text[i] == '+' || text[i] == '-')
            minus = text[i++] == '-';
        for (; i < text.size(); ++i)
            power = std::min<long long>(power * 10 + (text[i] - '0'), 1000000000000000LL);
        power = minus ? -power : power;
    }
    const std::size_t first = all.find_first_not_of('0');
    if (first == std::string::npos)
        return e; // zero, with its sign
    const std::size_t last = all.find_last_not_of('0');
    e.digits = all.substr(first, last - first + 1);
    e.exponent = power - fraction + (long long)(all.size() - 1 - last);
    return e;
}

std::optional<double> asDouble(std::string_view text)
{
    const std::string terminated(text);
    errno = 0;
    char *end = nullptr;
    const double value = std::strtod(terminated.c_str(), &end);
    if (errno == ERANGE || !std::isfinite(value) || end != terminated.c_str() + terminated.size())
        return std::nullopt;
    return value;
}

void escaped(std::string &out, const std::string &text)
{
    out += '"';
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if ((unsigned char)c < 0x20 || (unsigned char)c >= 0x7F) {
            static const char hex[] = "0123456789abcdef";
            out += "\\x";
            out += hex[(unsigned char)c >> 4];
            out += hex[c & 0xF];
        } else {
            out += c;
        }
    }
    out += '"';
}

void describe(std::string &out, const Value &value)
{
    switch (value.kind) {
    case Value::Kind::null:
        out += "null";
        return;
    case Value::Kind::boolean:
    case Value::Kind::number:
        out += value.text;
        return;
    case Value::Kind::string:
        escaped(out, value.text);
        return;
    case Value::Kind::array:
        out += '[';
        for (std::size_t i = 0; i < value.elements.size(); ++i) {
            out += i ? "," : "";
            describe(out, value.elements[i]);
        }
        out += ']';
        return;
    case Value::Kind::object:
        out += '{';
        for (std::size_t i = 0; i < value.members.size(); ++i) {
            out += i ? "," : "";
            escaped(out, value.members[i].first);
            out += ':';
            describe(out, value.members[i].second);
        }
        out += '}';
        return;
    }
}

} // namespace

Result parse(std::string_view text, int maxDepth)
{
    return Reader(text, maxDepth).run();
}

bool sameNumber(std::string_view read, std::string_view written)
{
    if (exact(read) == exact(written))
        return true;
    if (read.find_first_of(".eE") == std::string_view::npos)
        return false; // an integer keeps its exact value
    const auto a = asDouble(read);
    const auto b = asDouble(written);
    return a && b && *a == *b && std::signbit(*a) == std::signbit(*b);
}

bool sameValue(const Value &read, const Value &written)
{
    if (read.kind != written.kind)
        return false;
    switch (read.kind) {
    case Value::Kind::null:
        return true;
    case Value::Kind::boolean:
    case Value::Kind::string:
        return read.text == written.text;
    case Value::Kind::number:
        return sameNumber(read.text, written.text);
    case Value::Kind::array:
        if (read.elements.size() != written.elements.size())
            return false;
        for (std::size_t i = 0; i < read.elements.size(); ++i)
            if (!sameValue(read.elements[i], written.elements[i]))
                return false;
        return true;
    case Value::Kind::object:
        if (read.members.size() != written.members.size())
            return false;
        for (std::size_t i = 0; i < read.members.size(); ++i)
            if (read.members[i].first != written.members[i].first ||
                !sameValue(read.members[i].second, written.members[i].second))
                return false;
        return true;
    }
    return false;
}

std::string describe(const Value &value)
{
    std::string out;
    describe(out, value);
    return out;
}

} // namespace JsonReference
