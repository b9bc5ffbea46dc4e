#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <nlohmann/json.hpp>

#include <optional>

namespace ProbeMessages {
// The estimate of every probe that learns nothing, and the floor of every estimate.
inline constexpr qint64 fallbackTokens = 1500;
} // namespace ProbeMessages

// One tool of a server and its share of the server's tokens per message.
struct ToolTokens
{
    QString name;
    qint64 tokens = 0;

    bool operator==(const ToolTokens &) const = default;
};

// What one probe learned. Not `measured` when no tool list arrived (the server did not start,
// did not answer, answered with an error or with something that is not a tool list): the figure
// is then the fallback stand-in, not a measurement.
struct ProbeResult
{
    qint64 tokensPerMessage = ProbeMessages::fallbackTokens;
    bool measured = false;
    QList<ToolTokens> tools; // heaviest first

    bool operator==(const ProbeResult &) const = default;
};

// What every probe sends and how it measures the answer, shared by the standard-I/O and the
// HTTP transport so both count the same bytes.
namespace ProbeMessages {

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

// The measurement of a tool list (an array of objects): estimateTokens of its compact size, and
// each tool's share. The compact text is cut into one piece per tool (its object with the
// bracket or comma beside it) and a piece gets the tokens its bytes complete, so the shares add
// up to the byte count divided by 4 exactly; only the floor of 1500 can lift the server's figure
// above their sum.
[[nodiscard]] ProbeResult measureTools(const nlohmann::json &tools);

// Whether the bytes are well-formed UTF-8.
[[nodiscard]] bool isValidUtf8(QByteArrayView bytes);

} // namespace ProbeMessages
