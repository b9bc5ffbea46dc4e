#include "JsonPrettyWriter.h"

#include "LargeBuffer.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <deque>
#include <memory>

namespace JsonPrettyWriter {
namespace {

using Index = JsonDocument::Index;
using Node = JsonEdits::Node;

// One member of an object being written, or a value to write.
struct Item
{
    std::string_view key;         // decoded
    const JsonDocument *document; // null for an object that exists only in the edits
    Index value;
    const Node *edit; // edits below this value
    bool rawKey;      // `key` is the key's text in the document, escapes-free
};

// An open container: its members (objects) or its next element (arrays).
struct Frame
{
    bool object = true;
    std::vector<Item> items;
    std::deque<std::string> decodedKeys; // keys with escapes, decoded; stable addresses
    std::size_t next = 0;
    const JsonDocument *document = nullptr;
    Index element = 0; // arrays: the next element
    Index end = 0;     // arrays: past the last element
};

// The text, handed on a megabyte at a time: appending to a growing QByteArray went through its
// general insert path for every piece and was a third of the writing.
class Output
{
public:
    explicit Output(const Sink &sink) : m_sink(sink), m_buffer(new char[kChunk]) {}

    void append(const char *data, qsizetype size)
    {
        if (std::size_t(size) > kChunk - m_used) {
            flush();
            if (std::size_t(size) >= kChunk) {
                m_sink(data, std::size_t(size));
                m_total += size;
                return;
            }
        }
        std::memcpy(m_buffer.get() + m_used, data, std::size_t(size));
        m_used += std::size_t(size);
    }
    void append(char c)
    {
        if (m_used == kChunk)
            flush();
        m_buffer[m_used++] = c;
    }
    void flush()
    {
        if (m_used == 0)
            return;
        m_sink(m_buffer.get(), m_used);
        m_total += qsizetype(m_used);
        m_used = 0;
    }
    [[nodiscard]] qsizetype size() const { return m_total + qsizetype(m_used); }

private:
    static constexpr std::size_t kChunk = std::size_t(1) << 20;
    const Sink &m_sink;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_used = 0;
    qsizetype m_total = 0;
};

class Writer
{
public:
    Writer(const Sink &sink, qsizetype limit) : m_out(sink), m_limit(limit) {}

    bool run(const Item &root)
    {
        open(root);
        while (m_depth > 0) {
            if (m_out.size() > m_limit)
                return false;
            Frame &frame = m_frames[m_depth - 1];
            if (frame.object ? frame.next < frame.items.size() : frame.element < frame.end) {
                m_out.append(frame.next > 0 ? ",\n" : "\n", frame.next > 0 ? 2 : 1);
                indent(m_depth);
                Item item;
                if (frame.object) {
                    item = frame.items[frame.next++];
                    writeKey(item);
                } else {
                    item = Item{{}, frame.document, frame.element, nullptr, false};
                    frame.element = frame.document->next(frame.element);
                    ++frame.next;
                }
                open(item); // may add a frame: `frame` is not used after this
                continue;
            }
            m_out.append('\n');
            --m_depth;
            indent(m_depth);
            m_out.append(frame.object ? '}' : ']');
        }
        m_out.flush();
        return m_out.size() <= m_limit;
    }

private:
    void indent(std::size_t depth)
    {
        static const std::string spaces(256, ' ');
        std::size_t count = depth * 2;
        while (count > 0) {
            const std::size_t chunk = std::min(count, spaces.size());
            m_out.append(spaces.data(), qsizetype(chunk));
            count -= chunk;
        }
    }

    Frame &push()
    {
        if (m_frames.size() <= m_depth)
            m_frames.emplace_back();
        Frame &frame = m_frames[m_depth++];
        frame.items.clear();
        frame.decodedKeys.clear();
        frame.next = 0;
        return frame;
    }

    // Writes a scalar, or the opening of a container (left open on the frame stack).
    void open(const Item &item)
    {
        const JsonDocument *document = item.document;
        if (!document || document->kind(item.value) == JsonDocument::Kind::object) {
            Frame &frame = push();
            frame.object = true;
            collectMembers(frame, item);
            if (frame.items.empty()) {
                m_out.append("{}", 2);
                --m_depth;
            } else {
                m_out.append('{');
            }
            return;
        }
        switch (document->kind(item.value)) {
        case JsonDocument::Kind::array: {
            if (document->isEmpty(item.value)) {
                m_out.append("[]", 2);
                return;
            }
            Frame &frame = push();
            frame.object = false;
            frame.document = document;
            frame.element = item.value + 2;
            frame.end = document->next(item.value);
            m_out.append('[');
            return;
        }
        case JsonDocument::Kind::string:
            writeString(*document, item.value);
            return;
        case JsonDocument::Kind::number:
            writeNumber(document->numberText(item.value));
            return;
        case JsonDocument::Kind::boolean:
            document->boolean(item.value) ? m_out.append("true", 4) : m_out.append("false", 5);
            return;
        default:
            m_out.append("null", 4);
            return;
        }
    }

    void collectMembers(Frame &frame, const Item &item)
    {
        if (item.document) {
            const JsonDocument &document = *item.document;
            document.forEachMember(item.value, [&](Index key, Index value) {
                if (document.hasEscapes(key)) {
                    std::string &decoded = frame.decodedKeys.emplace_back();
                    JsonDocument::decodeString(document.rawString(key), decoded);
                    frame.items.push_back({decoded, &document, value, nullptr, false});
                } else {
                    frame.items.push_back({document.rawString(key), &document, value, nullptr, true});
                }
            });
            const auto byKey = [](const Item &a, const Item &b) { return a.key < b.key; };
            std::stable_sort(frame.items.begin(), frame.items.end(), byKey);
            // Of duplicated keys the last one counts, as in JSON.parse.
            auto kept = frame.items.begin();
            for (auto it = frame.items.begin(); it != frame.items.end(); ++it) {
                if (std::next(it) != frame.items.end() && std::next(it)->key == it->key)
                    continue;
                *kept++ = *it;
            }
            frame.items.erase(kept, frame.items.end());
        }
        if (item.edit)
            applyEdits(frame, *item.edit);
    }

    static void applyEdits(Frame &frame, const Node &edits)
    {
        for (const auto &[key, edit] : edits.children) {
            auto at = std::lower_bound(frame.items.begin(), frame.items.end(), std::string_view(key),
                                       [](const Item &item, std::string_view k) { return item.key < k; });
            const bool present = at != frame.items.end() && at->key == key;
            Item replacement{key, nullptr, 0, &edit, false};
            if (edit.action == Node::Action::remove) {
                if (present)
                    frame.items.erase(at);
                continue;
            }
            if (edit.action == Node::Action::set) {
                replacement.document = edit.value.get();
                replacement.value = JsonDocument::root();
                replacement.edit = nullptr;
            } else if (present && at->document &&
                       at->document->kind(at->value) == JsonDocument::Kind::object) {
                at->edit = &edit;
                continue;
            } else if (!edit.creates) {
                continue; // nothing to remove below a member that is not an object
            }
            if (present)
                *at = replacement;
            else
                frame.items.insert(at, replacement);
        }
    }

    void writeKey(const Item &item)
    {
        if (item.rawKey) {
            m_out.append('"');
            m_out.append(item.key.data(), qsizetype(item.key.size()));
            m_out.append("\": ", 3);
            return;
        }
        writeEscaped(item.key);
        m_out.append(": ", 2);
    }

    void writeString(const JsonDocument &document, Index value)
    {
        const std::string_view raw = document.rawString(value);
        if (!document.hasEscapes(value)) {
            // Valid UTF-8 without quotes, backslashes or control characters: already as written.
            m_out.append(raw.data() - 1, qsizetype(raw.size() + 2));
            return;
        }
        m_scratch.clear();
        JsonDocument::decodeString(raw, m_scratch);
        writeEscaped(m_scratch);
    }

    // Escapes exactly what JSON requires (and nlohmann's writer escaped): quotes, backslashes,
    // control characters; a lone surrogate (its three-byte WTF-8 form) as \uXXXX.
    void writeEscaped(std::string_view text)
    {
        m_out.append('"');
        const char *p = text.data();
        const char *end = p + text.size();
        const char *run = p;
        const auto flush = [&](const char *upTo) { m_out.append(run, qsizetype(upTo - run)); };
        char buffer[8];
        while (p < end) {
            const auto c = static_cast<unsigned char>(*p);
            const char *replacement = nullptr;
            std::size_t length = 2;
            switch (c) {
            case '"':
                replacement = "\\\"";
                break;
            case '\\':
                replacement = "\\\\";
                break;
            case '\b':
                replacement = "\\b";
                break;
            case '\f':
                replacement = "\\f";
                break;
            case '\n':
                replacement = "\\n";
                break;
            case '\r':
                replacement = "\\r";
                break;
            case '\t':
                replacement = "\\t";
                break;
            default:
                if (c < 0x20) {
                    std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                    replacement = buffer;
                    length = 6;
                } else if (c == 0xED && end - p >= 3 && (static_cast<unsigned char>(p[1]) & 0xE0) == 0xA0) {
                    const unsigned unit = 0xD000u |
                                          ((unsigned(static_cast<unsigned char>(p[1])) & 0x3Fu) << 6) |
                                          (unsigned(static_cast<unsigned char>(p[2])) & 0x3Fu);
                    std::snprintf(buffer, sizeof buffer, "\\u%04x", unit);
                    flush(p);
                    m_out.append(buffer, 6);
                    p += 3;
                    run = p;
                    continue;
                }
            }
            if (replacement) {
                flush(p);
                m_out.append(replacement, qsizetype(length));
                run = p + 1;
            }
            ++p;
        }
        flush(p);
        m_out.append('"');
    }

    void writeNumber(std::string_view text)
    {
        if (text.find_first_of(".eE") == std::string_view::npos) {
            m_out.append(text.data(), qsizetype(text.size()));
            return;
        }
        double value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc() || end != text.data() + text.size()) {
            m_out.append(text.data(), qsizetype(text.size())); // beyond a double: its digits stay
            return;
        }
        char buffer[64];
        char *last = nlohmann::detail::to_chars(buffer, buffer + sizeof buffer, value);
        m_out.append(buffer, qsizetype(last - buffer));
    }

    Output m_out;
    qsizetype m_limit;
    std::vector<Frame> m_frames;
    std::size_t m_depth = 0;
    std::string m_scratch;
};

} // namespace

bool write(const JsonDocument &document, const JsonEdits &edits, qsizetype limit, const Sink &sink)
{
    Writer writer(sink, limit);
    return writer.run(Item{{}, &document, JsonDocument::root(), &edits.root(), false});
}

std::optional<QByteArray> write(const JsonDocument &document, const JsonEdits &edits, qsizetype limit)
{
    QByteArray text =
        LargeBuffer::reserved(std::min(limit, document.bytes().size() + document.bytes().size() / 8 + 64));
    const Sink append = [&text](const char *data, std::size_t size) { text.append(data, qsizetype(size)); };
    if (!write(document, edits, limit, append))
        return std::nullopt;
    return text;
}

qsizetype defaultLimit(qsizetype inputSize)
{
    return std::max<qsizetype>(64 << 20, inputSize * 8);
}

} // namespace JsonPrettyWriter
