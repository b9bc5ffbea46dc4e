#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

// Reading files that other programs, or a cloned repository, may have put in Quorlane's way. Only
// regular files are read: a FIFO, a device (a link to /dev/zero or /dev/stdin), a socket or a
// folder is named, never waited on and never read. The descriptor is opened without blocking and
// its type is taken from the descriptor itself, so a name swapped between the check and the read
// cannot slip a FIFO in. Every read is bounded, and nothing is allocated by what a file claims.
namespace RegularFile {

// Quorlane's own files, project files and records: a few kilobytes in real life.
constexpr std::int64_t kSmallLimit = std::int64_t(16) << 20;
// ~/.claude.json and the Claude Desktop file keep history and can grow to tens of megabytes.
constexpr std::int64_t kLargeLimit = std::int64_t(1) << 30;

struct Result
{
    std::optional<QByteArray> bytes; // nullopt when nothing is at the path
    QString error;                   // "Could not read <path>: <why>"; empty on success
};

// An empty buffer with room for the given number of bytes (large reads ask for huge pages).
using Reserve = std::function<QByteArray(qsizetype capacity)>;

// The bytes of the file at `path`, following links. Nothing at the path (or a missing folder on
// the way) gives no bytes and no error; a dangling link is an error.
[[nodiscard]] Result read(const QString &path, std::int64_t limit = kLargeLimit, const Reserve &reserve = {});

// Why the file at `path` could not be read as a regular file of at most `limit` bytes, without
// reading it; empty when it can, or when nothing is there.
[[nodiscard]] QString problem(const QString &path, std::int64_t limit = kLargeLimit);

// "a FIFO, not a regular file" and the like for a st_mode.
[[nodiscard]] QString describeType(unsigned mode);

} // namespace RegularFile
