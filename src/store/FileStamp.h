#pragma once

#include <QString>

#include <cstdint>
#include <optional>

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
