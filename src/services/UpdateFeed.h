#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

// Reading the changelog feed and comparing dotted version numbers.
namespace UpdateFeed {

struct Entry
{
    QString version;
    // The release notes; empty when the feed names none, or names something that is not an http
    // or https URL.
    QUrl changelogURL;

    friend bool operator==(const Entry &, const Entry &) = default;
};

// The feed's answer: `httpStatusCode` is nullopt when the response was not an HTTP response.
// The body is an object, or an array of objects whose first element is read. Throws FeedError,
// or FeedJsonError when the body is not JSON.
[[nodiscard]] Entry parseFeed(const QByteArray &body, std::optional<int> httpStatusCode);

// "1.4.2" → {1, 4, 2}. Refuses empty pieces ("1..2", "1."), anything but ASCII digits ("v1",
// "1-beta", "+1") and numbers beyond 64 bits.
[[nodiscard]] std::optional<QList<qint64>> parseVersion(const QString &text);

enum class VersionComparison
{
    newer,
    notNewer,
    undecidable,
};

// Whether `a` is newer than `b`, missing positions counting as 0 (1.2 equals 1.2.0);
// undecidable when either does not parse.
[[nodiscard]] VersionComparison compareVersions(const QString &a, const QString &b);

} // namespace UpdateFeed
