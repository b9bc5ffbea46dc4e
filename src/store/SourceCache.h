#pragma once

#include "ClaudeJson.h"
#include "MCPServerEntry.h"

#include <QHash>
#include <QString>

#include <cstdint>
#include <mutex>
#include <optional>

// What the loader decoded from a large file (~/.claude.json, the Claude Desktop file), kept
// while the file is still the same file with the same size and modification time. A reload after
// a switch of a Desktop server, or one the file watcher starts, then does not read and parse
// tens of megabytes that did not change; a switch hands in the view of what it just wrote.

// What the file system says about a file's content without reading it.
struct FileStamp
{
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0; // since 1970
    // Changes with every write and every change of the modification time (cp -p, touch -r): a
    // rewrite in place that sets the old time back still shows.
    std::int64_t changedNs = 0;

    bool operator==(const FileStamp &) const = default;

    // Nullopt when nothing can be stat'ed at the path (a symbolic link is followed).
    [[nodiscard]] static std::optional<FileStamp> of(const QString &path);
};

// A stamp and the moment (ns since 1970, taken before the content was looked at) from which the
// content under that stamp is known.
struct KnownStamp
{
    FileStamp stamp;
    std::int64_t knownAt = 0;

    [[nodiscard]] static std::int64_t now();
    // Whether every later write must change the stamp: the file was last written clearly before
    // its content was known, so a write after that cannot fall into the same tick of the file
    // system's clock and leave the modification time as it was. Not so for a file written the
    // moment it was read: such an entry is not kept.
    [[nodiscard]] bool isSettled() const;
};

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
