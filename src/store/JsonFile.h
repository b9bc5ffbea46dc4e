#pragma once

#include <QByteArray>
#include <QString>

#include "platform/RegularFile.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <optional>

// Reading and atomically replacing JSON files. Writes go to a temporary file in the same folder
// that is renamed over the old one, so another program never sees half a file.
namespace JsonFile {

// The file's bytes; nullopt when nothing exists at the path. Any other failure (no permission,
// a folder, a FIFO or device, a dangling link, more than `limit` bytes) throws FileSystemError
// naming the file and why: a file that is there but unreadable is never taken for an absent one,
// and a special file is never waited on (RegularFile).
std::optional<QByteArray> readIfExists(const QString &path, std::int64_t limit = RegularFile::kLargeLimit);

// The file's bytes, or nullopt for any failure (forgiving readers: loading, estimates).
std::optional<QByteArray> read(const QString &path, std::int64_t limit = RegularFile::kLargeLimit);

// The file's top-level object, or nullopt when it cannot be read or does not hold one
// (forgiving readers, like read()).
std::optional<nlohmann::json> readObject(const QString &path);

// A generic tree, or nullopt when the bytes are not JSON (or not UTF-8).
std::optional<nlohmann::json> parse(const QByteArray &bytes);

// A generic tree whose top level is an object, or nullopt.
std::optional<nlohmann::json> parseObject(const QByteArray &bytes);

// Indented, one member per line, keys sorted at every depth (nlohmann's object is an ordered
// map, so sorting comes with it). Non-ASCII text is written as UTF-8.
QByteArray serializePretty(const nlohmann::json &value);

// One line, no spaces.
QByteArray serializeCompact(const nlohmann::json &value);

// Replaces the file atomically (AtomicFile::replace); throws FileSystemError naming the path and
// the system's reason. The file keeps its mode, owner and group (~/.claude.json is private to
// its owner).
void writeAtomically(const QString &path, const QByteArray &bytes);

// The rewrite of another program's file (AtomicFile::replaceIfUnchanged): false, with nothing of
// ours left in place, when the file no longer holds `expected`; the caller redoes its edit on the
// new content then.
[[nodiscard]] bool writeAtomicallyIfUnchanged(const QString &path, const QByteArray &bytes,
                                              const QByteArray &expected);

// Creates the folder and every missing parent; throws FileSystemError on failure.
void createDirectories(const QString &path);

// The deepest nesting of arrays and objects in the text (strings are skipped), counted without
// recursion. The generic tree and its writer recurse once per level, so a change refuses deeper
// stash files instead of running out of stack half-way through its writes.
[[nodiscard]] int nestingDepth(const QByteArray &bytes);
constexpr int kMaxNestingDepth = 1000;

// Throws FileSystemError naming the file when `bytes` nest deeper than kMaxNestingDepth.
void checkNestingDepth(const QString &path, const QByteArray &bytes);

} // namespace JsonFile
