#include "json/JsonPrettyWriter.h"

#include "json/JsonNumber.h"
#include "json/LargeBuffer.h"

#include <algorithm>
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

// An open container: its members (objects) or its next element (arrays). The keys of its items
// point into `decodedKeys` (or the document, or the edits), so a frame must never move or be
// copied while it is open: the frames live in a deque, which never moves what it holds.
struct Frame
{
    bool object = true;
    std::vector<Item> items;
    std::string decodedKeys; // keys with escapes, decoded one after another
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
            // Decoded keys are appended to one buffer, which may move as it grows: their items
            // hold an offset until the last one is in.
            std::vector<std::pair<std::size_t, std::size_t>> decoded;
            document.forEachMember(item.value, [&](Index key, Index value) {
                if (document.hasEscapes(key)) {
                    const std::size_t at = frame.decodedKeys.size();
                    JsonDocument::decodeString(document.rawString(key), frame.decodedKeys);
                    decoded.emplace_back(frame.items.size(), at);
                    frame.items.push_back({{}, &document, value, nullptr, false});
                } else {
                    frame.items.push_back({document.rawString(key), &document, value, nullptr, true});
                }
            });
            for (std::size_t i = 0; i < decoded.size(); ++i) {
                const auto [itemAt, keyAt] = decoded[i];
                const std::size_t keyEnd =
                    i + 1 < decoded.size() ? decoded[i + 1].second : frame.decodedKeys.size();
                frame.items[itemAt].key = std::string_view(frame.decodedKeys).substr(keyAt, keyEnd - keyAt);
            }
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

    void writeEscaped(std::string_view text)
    {
        m_escaped.clear();
        JsonDocument::appendEscaped(text, m_escaped);
        m_out.append(m_escaped.data(), qsizetype(m_escaped.size()));
    }

    void writeNumber(std::string_view text)
    {
        const auto value = JsonNumber::isIntegerText(text) ? std::nullopt : JsonNumber::toDouble(text);
        if (!value) {
            m_out.append(text.data(), qsizetype(text.size())); // an integer, or beyond a double
            return;
        }
        const std::string written = JsonNumber::shortest(*value);
        m_out.append(written.data(), qsizetype(written.size()));
    }

    Output m_out;
    qsizetype m_limit;
    std::deque<Frame> m_frames;
    std::size_t m_depth = 0;
    std::string m_scratch;
    std::string m_escaped;
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

QByteArray indent(std::string_view text)
{
    const QByteArray bytes(text.data(), qsizetype(text.size()));
    const auto document = JsonDocument::parse(bytes);
    auto written = document ? write(*document, {}, defaultLimit(bytes.size())) : std::nullopt;
    return written ? std::move(*written) : bytes;
}

qsizetype defaultLimit(qsizetype inputSize)
{
    return std::max<qsizetype>(64 << 20, inputSize * 8);
}

} // namespace JsonPrettyWriter
