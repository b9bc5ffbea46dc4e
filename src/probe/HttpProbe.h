#pragma once

#include "probe/ProbeMessages.h"

#include <QByteArray>
#include <QMap>
#include <QString>

#include <nlohmann/json.hpp>

#include <optional>

class QNetworkAccessManager;
class QUrl;

// The outcome of one POST of the HTTP probe.
struct ProbePostResult
{
    qint64 statusCode = 0; // 0 when no HTTP response arrived
    std::optional<QByteArray> body;
    std::optional<QString> sessionId; // the response's "mcp-session-id" header

    bool operator==(const ProbePostResult &) const = default;
};

// Measuring a server reached over HTTP: the same handshake as over standard I/O, as three POSTs,
// with replies as plain JSON or as an event stream. Blocks the calling worker thread, which
// owns every network object of the probe (they are created and destroyed there); never call
// it on the interface thread.
namespace HttpProbe {

// Tokens per message (at least 1500); 1500 for every failure, and at once when `url` is not an
// http or https URL.
[[nodiscard]] qint64 probeHTTP(const QString &url, const QMap<QString, QString> &headers);
// The whole measurement; not `measured` on every failure.
[[nodiscard]] ProbeResult measureHTTP(const QString &url, const QMap<QString, QString> &headers);

// POSTs one message and waits at most 20 s for the answer (the request itself gives up after
// 15 s without progress). A wait that runs out gives status 0 and no body; the request is left
// running until `session` goes away. Call it on the thread that owns `session`.
[[nodiscard]] ProbePostResult postMessage(const nlohmann::json &message, const QUrl &url,
                                          const QMap<QString, QString> &headers,
                                          const std::optional<QString> &sessionId,
                                          QNetworkAccessManager &session);

// The tools array of a reply body: of the response to the tool-list request, which is the
// whole body as JSON, else the first "data:" line of an event stream that is that response (by
// its id). Nullopt when that response carries no tools or none is found.
[[nodiscard]] std::optional<nlohmann::json> parseToolsResponse(const std::optional<QByteArray> &body);

// The response to the request `id` in a body (see parseToolsResponse); unless `complete`, only
// lines that end in "\n" are looked at, as a stream still arriving may cut a line.
[[nodiscard]] std::optional<nlohmann::json> findResponse(QByteArrayView body, int id, bool complete);

// "result"."tools" of one JSON text, when it is an array of objects.
[[nodiscard]] std::optional<nlohmann::json> extractTools(QByteArrayView text);

} // namespace HttpProbe
