#pragma once

#include "json/JsonEdits.h"

#include <QByteArray>

#include <functional>
#include <optional>

// Writes a parsed document, with edits, as the whole store writes other programs' files:
// indented by two spaces, one member per line, keys sorted by their UTF-8 bytes (code-point
// order) at every depth, the last of duplicated keys kept, strings escaped only where JSON
// requires it. Numbers keep their text, except that a number with a fraction or an exponent is
// written in the shortest form that reads back as the same double ("1E5" becomes "100000.0"),
// the form the generic tree's writer always used; a number beyond a double's range (1e400) and
// an integer of any length keep their digits. A lone surrogate is written as its escape.
// Iterative: any depth is written without recursion.
namespace JsonPrettyWriter {

// Nullopt when the text would grow beyond `limit` bytes: pretty printing indents every line by
// its depth, so a deeply nested value (thousands of levels) grows without bound.
[[nodiscard]] std::optional<QByteArray> write(const JsonDocument &document, const JsonEdits &edits,
                                              qsizetype limit);

// Receives the text a piece at a time.
using Sink = std::function<void(const char *data, std::size_t size)>;

// The same, handed to `sink` as it is made, so the whole text is never held at once. False when
// it would grow beyond `limit` (the sink has then received a part of it).
[[nodiscard]] bool write(const JsonDocument &document, const JsonEdits &edits, qsizetype limit,
                         const Sink &sink);

// Compact text the store made itself (a record, the stash), indented and sorted the same way;
// text that is not JSON comes back as it is.
[[nodiscard]] QByteArray indent(std::string_view text);

// The bound callers use: generous for any real file, small enough to refuse a runaway.
[[nodiscard]] qsizetype defaultLimit(qsizetype inputSize);

} // namespace JsonPrettyWriter
