#pragma once

#include <QByteArray>
#include <QString>

#include <nlohmann/json.hpp>

#include <functional>
#include <optional>

// Reading and atomically replacing JSON files. Writes go to a temporary file in the same folder
// that is renamed over the old one, so another program never sees half a file.
namespace JsonFile {

// The file's bytes; nullopt when no file exists at the path. Any other failure throws
// FileSystemError.
std::optional<QByteArray> readIfExists(const QString &path);

// The file's bytes, or nullopt for any failure (forgiving readers: loading, estimates).
std::optional<QByteArray> read(const QString &path);

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

// Replaces the file atomically; throws FileSystemError naming the path. The file keeps its
// permissions (~/.claude.json is private to its owner).
void writeAtomically(const QString &path, const QByteArray &bytes);

// Like writeAtomically, but just before the new file is moved into place the file at `path` is
// read again: if its bytes are no longer `expected` (another program wrote it meanwhile), the
// new file is discarded and false is returned, so the caller can redo its edit on the new
// content instead of overwriting that change.
bool writeAtomicallyIfUnchanged(const QString &path, const QByteArray &bytes, const QByteArray &expected);

// Whether the file holds exactly `bytes`, compared through a small buffer: the file can be tens
// of megabytes, and a second copy of it in memory is what a switch can least afford.
[[nodiscard]] bool holds(const QString &path, const QByteArray &bytes);

// Creates the folder and every missing parent; throws FileSystemError on failure.
void createDirectories(const QString &path);

// The untyped rewrite of another program's file: parse the whole tree (its top level must be an
// object), let `edit` change only the members on the path to what it touches, write it back
// pretty-printed with sorted keys. Every member the edit does not touch keeps its value. Throws
// FileSystemError when the file cannot be read, parsed or replaced; returns the bytes written.
QByteArray rewrite(const QString &path, const std::function<void(nlohmann::json &root)> &edit);

} // namespace JsonFile
