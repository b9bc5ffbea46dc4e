#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

#include <nlohmann/json.hpp>

#include <optional>

// What every probe sends and how it measures the answer, shared by the standard-I/O and the
// HTTP transport so both count the same bytes.
namespace ProbeMessages {

// The estimate of every probe that learns nothing, and the floor of every estimate.
inline constexpr qint64 fallbackTokens = 1500;

// The ids of the two requests of the handshake; a reply is matched to its request by id.
inline constexpr int initializeId = 1;
inline constexpr int toolsListId = 2;

// The three messages of the MCP handshake.
[[nodiscard]] nlohmann::json initializeRequest();
[[nodiscard]] nlohmann::json initializedNotification();
[[nodiscard]] nlohmann::json toolsListRequest();

// One line, no white space, every "/" written as "\/", every other character as UTF-8: the
// form whose length the estimate is based on (the form Claude's own clients put on the wire).
[[nodiscard]] QByteArray writeCompact(const nlohmann::json &value);

// "result"."tools" when the value is an object whose "result" is an object whose "tools" is an
// array of objects; otherwise nullopt.
[[nodiscard]] std::optional<nlohmann::json> toolsOf(const nlohmann::json &message);

// The message in one JSON text when it is the response to the request with `id`: an object
// whose "id" is that number and that has no "method" (the server's own requests number
// themselves). Nullopt for anything else, also for text that is not JSON.
[[nodiscard]] std::optional<nlohmann::json> responseTo(QByteArrayView text, int id);

// Parses one JSON text and applies toolsOf; nullopt when the text is not JSON.
[[nodiscard]] std::optional<nlohmann::json> toolsOfText(const char *begin, const char *end);

// The byte count divided by 4 (truncating), never below fallbackTokens.
[[nodiscard]] qint64 estimateTokens(qint64 byteCount);

// Whether the bytes are well-formed UTF-8.
[[nodiscard]] bool isValidUtf8(QByteArrayView bytes);

} // namespace ProbeMessages
