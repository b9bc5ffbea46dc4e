#pragma once

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A JSON text parsed once into a compact index over its own bytes, read the way Claude Code's
// JSON.parse reads it: any nesting depth (the parser keeps its own stack), the last of
// duplicated keys wins, integers of any length keep their digits, and a lone UTF-16 surrogate
// escape such as "\ud83d" is accepted and kept. ~/.claude.json can be tens of megabytes, so a
// value is one 32-bit word pointing into the text (containers take a second word: the index
// past their last descendant) instead of a tree of allocated nodes.
//
// Decoded strings are WTF-8: UTF-8 that may hold a lone surrogate as its three-byte form, which
// the writer turns back into its escape.
class JsonDocument
{
public:
    using Index = std::uint32_t;
    enum class Kind : std::uint8_t
    {
        object,
        array,
        string,
        number,
        boolean,
        null
    };

    // Nullopt when the bytes are not one JSON value (a leading UTF-8 byte-order mark and
    // surrounding whitespace allowed), not UTF-8, or larger than 2 GiB. The bytes are shared,
    // not copied.
    [[nodiscard]] static std::optional<JsonDocument> parse(const QByteArray &bytes);

    [[nodiscard]] const QByteArray &bytes() const { return m_bytes; }
    [[nodiscard]] static constexpr Index root() { return 0; }

    [[nodiscard]] Kind kind(Index value) const;
    // The index just past the value and everything inside it.
    [[nodiscard]] Index next(Index value) const;

    // Objects: members in the order of the text, duplicates included. A member is a key index
    // followed by its value index (key + 1).
    template<typename F> void forEachMember(Index object, F &&visit) const
    {
        const Index end = m_tape[object + 1];
        for (Index key = object + 2; key < end; key = next(key + 1))
            visit(key, key + 1);
    }
    // The value of the last member named `key`.
    [[nodiscard]] std::optional<Index> member(Index object, std::string_view key) const;
    // Whether the object or array has no members (an object of only duplicates is not empty).
    [[nodiscard]] bool isEmpty(Index container) const { return m_tape[container + 1] == container + 2; }
    template<typename F> void forEachElement(Index array, F &&visit) const
    {
        const Index end = m_tape[array + 1];
        for (Index element = array + 2; element < end; element = next(element))
            visit(element);
    }

    // Strings and keys: the text between the quotes when it has no escape, else decoded into
    // `scratch` (WTF-8).
    [[nodiscard]] std::string_view string(Index value, std::string &scratch) const;
    [[nodiscard]] std::string string(Index value) const;
    // The text between the quotes, escapes as written.
    [[nodiscard]] std::string_view rawString(Index value) const;
    [[nodiscard]] bool hasEscapes(Index value) const { return m_tape[value] & kEscaped; }
    // Numbers as written; booleans.
    [[nodiscard]] std::string_view numberText(Index value) const;
    [[nodiscard]] bool boolean(Index value) const;
    // Where the value (or key) starts in bytes(): its quote, bracket or first character. For
    // edits that splice text into a file and leave every other byte as it was.
    [[nodiscard]] std::uint32_t textOffset(Index value) const { return offset(value); }

    // Appends the decoded (WTF-8) form of a string's text between its quotes.
    static void decodeString(std::string_view raw, std::string &out);
    // The reverse: appends decoded text as a JSON string, quotes included. Escapes exactly what
    // JSON requires (and nlohmann's writer escaped): quotes, backslashes, control characters;
    // a lone surrogate (its three-byte WTF-8 form) becomes its \uXXXX escape.
    static void appendEscaped(std::string_view text, std::string &out);

private:
    static constexpr std::uint32_t kEscaped = 0x80000000u;
    static constexpr std::uint32_t kOffset = 0x7fffffffu;
    friend class JsonDocumentParser;

    [[nodiscard]] std::uint32_t offset(Index value) const { return m_tape[value] & kOffset; }

    QByteArray m_bytes;
    std::vector<std::uint32_t> m_tape;
};
