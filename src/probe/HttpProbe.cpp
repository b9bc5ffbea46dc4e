#include "probe/HttpProbe.h"

#include "probe/ProbeMessages.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <QUrl>

#include <memory>

namespace HttpProbe {
namespace {

constexpr int requestTimeoutMs = 15'000;
constexpr int waitTimeoutMs = 20'000;
// Tool lists are kilobytes; a server sending more than this has gone wrong, and reading on would
// only fill memory.
constexpr qint64 bodyLimit = 16 << 20;

const QByteArray sessionHeader = QByteArrayLiteral("mcp-session-id");

bool isAuthFailure(qint64 status)
{
    return status == 401 || status == 403;
}

QByteArrayView trimSpacesAndTabs(QByteArrayView text)
{
    while (!text.isEmpty() && (text.front() == ' ' || text.front() == '\t'))
        text = text.sliced(1);
    while (!text.isEmpty() && (text.back() == ' ' || text.back() == '\t'))
        text.chop(1);
    return text;
}

} // namespace

std::optional<nlohmann::json> extractTools(QByteArrayView text)
{
    return ProbeMessages::toolsOfText(text.data(), text.data() + text.size());
}

std::optional<nlohmann::json> findResponse(QByteArrayView body, int id, bool complete)
{
    if (auto whole = ProbeMessages::responseTo(body, id))
        return whole;
    // An event stream: only "data:" lines can carry the reply; event names, ids, comments and
    // the server's own requests and notifications are passed over. A trailing carriage return
    // stays; JSON reads it as white space.
    while (!body.isEmpty()) {
        const qsizetype newline = body.indexOf('\n');
        if (newline < 0 && !complete)
            break;
        const QByteArrayView line = trimSpacesAndTabs(newline < 0 ? body : body.first(newline));
        body = newline < 0 ? QByteArrayView() : body.sliced(newline + 1);
        if (!line.startsWith("data:"))
            continue;
        if (auto response = ProbeMessages::responseTo(trimSpacesAndTabs(line.sliced(5)), id))
            return response;
    }
    return std::nullopt;
}

std::optional<nlohmann::json> parseToolsResponse(const std::optional<QByteArray> &body)
{
    if (!body || !ProbeMessages::isValidUtf8(*body))
        return std::nullopt;
    const auto response = findResponse(*body, ProbeMessages::toolsListId, true);
    return response ? ProbeMessages::toolsOf(*response) : std::nullopt;
}

ProbePostResult postMessage(const nlohmann::json &message, const QUrl &url,
                            const QMap<QString, QString> &headers, const std::optional<QString> &sessionId,
                            QNetworkAccessManager &session)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(requestTimeoutMs);
    // Later settings of the same name (compared without case) replace earlier ones, so a
    // configured "Accept" or "Content-Type" wins over the defaults.
    request.setRawHeader("Content-Type", "application/json");
    request.setRawHeader("Accept", "application/json, text/event-stream");
    for (auto it = headers.cbegin(); it != headers.cend(); ++it)
        request.setRawHeader(it.key().toUtf8(), it.value().toUtf8());
    if (sessionId)
        request.setRawHeader(sessionHeader, sessionId->toUtf8());

    QNetworkReply *reply = session.post(request, ProbeMessages::writeCompact(message));
    // The network thread stops reading once a megabyte waits here: without a bound it reads as
    // fast as a flooding server sends, long before the limit below is looked at.
    reply->setReadBufferSize(1 << 20);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    // The body is gathered here, so a stream that answers and then goes on sending is cut short
    // once the answer is in: the first response with the request's id is the one that counts.
    const auto id = message.find("id");
    const std::optional<int> requestId =
        id != message.end() && id->is_number_integer() ? std::optional(id->get<int>()) : std::nullopt;
    QByteArray body;
    qsizetype scanned = 0;
    bool tooLarge = false;
    bool answered = false;
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        const QByteArray arrived = reply->readAll();
        body += arrived;
        if (body.size() > bodyLimit) {
            tooLarge = true;
            reply->abort();
            return;
        }
        // Only lines completed by what just arrived are looked at: each byte is looked at once.
        const qsizetype newline = arrived.lastIndexOf('\n');
        if (!requestId || newline < 0)
            return;
        const qsizetype complete = body.size() - arrived.size() + newline + 1;
        if (findResponse(QByteArrayView(body).sliced(scanned, complete - scanned), *requestId, false)) {
            answered = true;
            loop.quit();
        }
        scanned = complete;
    });
    QTimer::singleShot(waitTimeoutMs, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();

    ProbePostResult result;
    if (!reply->isFinished() && !answered)
        return result; // still running: it belongs to `session` and ends with it
    if (tooLarge) {
        delete reply;
        return result;
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        result.statusCode = status.toLongLong();
        if (reply->hasRawHeader(sessionHeader))
            result.sessionId = QString::fromUtf8(reply->rawHeader(sessionHeader));
        result.body = body + reply->readAll();
    }
    // Whatever else the server still sends is not read.
    reply->disconnect(&loop);
    reply->abort();
    delete reply;
    return result;
}

qint64 probeHTTP(const QString &url, const QMap<QString, QString> &headers)
{
    return measureHTTP(url, headers).tokensPerMessage;
}

ProbeResult measureHTTP(const QString &url, const QMap<QString, QString> &headers)
{
    const QUrl parsed(url, QUrl::StrictMode);
    // Only the web: a file: or data: URL is not a server, and must not be read as one.
    if (!parsed.isValid() ||
        (parsed.scheme() != QLatin1String("http") && parsed.scheme() != QLatin1String("https")))
        return {};

    ProbeResult estimate;
    {
        // Made for this probe only and dropped with it: no cookies, cache or credentials survive.
        QNetworkAccessManager session;
        std::optional<QString> sessionId;
        const ProbePostResult initialized =
            postMessage(ProbeMessages::initializeRequest(), parsed, headers, sessionId, session);
        if (!isAuthFailure(initialized.statusCode)) {
            // Learned from the initialize response only; later responses do not change it.
            if (initialized.sessionId)
                sessionId = initialized.sessionId;
            (void)postMessage(ProbeMessages::initializedNotification(), parsed, headers, sessionId, session);
            const ProbePostResult listed =
                postMessage(ProbeMessages::toolsListRequest(), parsed, headers, sessionId, session);
            if (!isAuthFailure(listed.statusCode)) {
                if (const auto tools = parseToolsResponse(listed.body))
                    estimate = ProbeMessages::measureTools(*tools);
            }
        }
    }
    // This worker thread runs no event loop of its own: release what the network stack left
    // for deferred deletion now rather than never.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return estimate;
}

} // namespace HttpProbe
