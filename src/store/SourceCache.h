#pragma once

#include "store/ClaudeJson.h"
#include "store/FileStamp.h"
#include "store/MCPServerEntry.h"

#include <QHash>
#include <QString>

#include <cstdint>
#include <mutex>
#include <optional>

// What the loader decoded from a large file (~/.claude.json, the Claude Desktop file), kept
// while the file is still the same file with the same size and modification time. A reload after
// a switch of a Desktop server, or one the file watcher starts, then does not read and parse
// tens of megabytes that did not change; a switch hands in the view of what it just wrote.

template<typename T> class StampedCache
{
public:
    // The value kept for the file, when it still has this stamp.
    [[nodiscard]] std::optional<T> find(const QString &path, const FileStamp &stamp) const
    {
        const std::lock_guard guard(m_mutex);
        const auto at = m_entries.constFind(path);
        if (at == m_entries.cend() || at->first != stamp)
            return std::nullopt;
        return at->second;
    }

    // Keeps `value` as the content of the file under `known`; an unsettled stamp only drops
    // what was kept before.
    void keep(const QString &path, const KnownStamp &known, T value)
    {
        const std::lock_guard guard(m_mutex);
        if (known.stamp.size < kMinimumSize || !known.isSettled()) {
            m_entries.remove(path);
            return;
        }
        m_entries.insert(path, {known.stamp, std::move(value)});
    }

    void forget(const QString &path)
    {
        const std::lock_guard guard(m_mutex);
        m_entries.remove(path);
    }

    // Small files cost less to read again than to keep.
    static constexpr std::int64_t kMinimumSize = 256 * 1024;

private:
    mutable std::mutex m_mutex;
    QHash<QString, std::pair<FileStamp, T>> m_entries;
};

namespace SourceCache {

// ~/.claude.json's view; nullopt when the file did not read as one.
StampedCache<std::optional<ClaudeJson>> &claudeJson();
// A simple-layout file's servers (the Claude Desktop file); nullopt when it did not read as one.
StampedCache<std::optional<MCPServerMap>> &serverFiles();

// The stamp of the file at `path`, if reading it through `read` left it unchanged.
template<typename F>
auto readStamped(const QString &path, F &&read) -> std::pair<decltype(read()), std::optional<KnownStamp>>
{
    const std::int64_t knownAt = KnownStamp::now();
    const auto before = FileStamp::of(path);
    auto value = read();
    const auto after = FileStamp::of(path);
    if (!before || before != after)
        return {std::move(value), std::nullopt};
    return {std::move(value), KnownStamp{*before, knownAt}};
}

} // namespace SourceCache
