#include "services/UpdateFeed.h"

#include "services/FeedError.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <limits>

namespace UpdateFeed {
namespace {

// The object the feed's newest release is described by.
QJsonObject releaseObject(const QJsonDocument &document)
{
    if (document.isArray()) {
        const QJsonArray array = document.array();
        const bool allObjects = std::all_of(array.begin(), array.end(),
                                            [](const QJsonValue &element) { return element.isObject(); });
        if (!array.isEmpty() && allObjects)
            return array.first().toObject();
        throw FeedError::invalidResponse();
    }
    if (!document.isObject())
        throw FeedError::invalidResponse();
    return document.object();
}

} // namespace

Entry parseFeed(const QByteArray &body, std::optional<int> httpStatusCode)
{
    if (!httpStatusCode)
        throw FeedError::invalidResponse();
    if (*httpStatusCode < 200 || *httpStatusCode > 299)
        throw FeedError::httpStatus(*httpStatusCode);

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        throw FeedJsonError(parseError.errorString().toStdString());

    const QJsonObject release = releaseObject(document);
    if (release.isEmpty())
        throw FeedError::missingVersion();
    const QJsonValue version = release.value(QLatin1String("version"));
    if (!version.isString() || version.toString().isEmpty())
        throw FeedError::missingVersion();
    if (!parseVersion(version.toString()))
        throw FeedError::invalidVersion();

    Entry entry{version.toString(), {}};
    const QJsonValue url = release.value(QLatin1String("url"));
    if (url.isString()) {
        // Anything but a web page (file:, javascript:, an app's own scheme) would be opened by
        // the system with whatever handles it.
        const QUrl parsed(url.toString(), QUrl::StrictMode);
        const QString scheme = parsed.scheme().toLower();
        if (parsed.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
            !parsed.host().isEmpty())
            entry.changelogURL = parsed;
    }
    return entry;
}

std::optional<QList<qint64>> parseVersion(const QString &text)
{
    QList<qint64> numbers;
    for (const QStringView piece : QStringView(text).split(QLatin1Char('.'))) {
        if (piece.isEmpty())
            return std::nullopt;
        qint64 value = 0;
        for (const QChar c : piece) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return std::nullopt;
            const int digit = c.unicode() - '0';
            if (value > (std::numeric_limits<qint64>::max() - digit) / 10)
                return std::nullopt;
            value = value * 10 + digit;
        }
        numbers.append(value);
    }
    if (numbers.isEmpty())
        return std::nullopt;
    return numbers;
}

VersionComparison compareVersions(const QString &a, const QString &b)
{
    const auto left = parseVersion(a);
    const auto right = parseVersion(b);
    if (!left || !right)
        return VersionComparison::undecidable;
    const qsizetype length = std::max(left->size(), right->size());
    for (qsizetype i = 0; i < length; ++i) {
        const qint64 x = i < left->size() ? left->at(i) : 0;
        const qint64 y = i < right->size() ? right->at(i) : 0;
        if (x != y)
            return x > y ? VersionComparison::newer : VersionComparison::notNewer;
    }
    return VersionComparison::notNewer;
}

} // namespace UpdateFeed
