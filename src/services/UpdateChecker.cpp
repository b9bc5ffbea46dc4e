#include "services/UpdateChecker.h"

#include "services/FeedError.h"
#include "services/UpdateFeed.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>

#include <QCoro/QCoroNetworkReply>

#include <memory>
#include <variant>

namespace {

const QString couldNotCheck = QStringLiteral("Could not check for updates.");

QUrl productWebsite()
{
    return QUrl(QStringLiteral("https://quorlane.dev"));
}

QUrl feedURLForThisRun()
{
    const QString overridden = qEnvironmentVariable("QUORLANE_FEED_URL");
    if (!overridden.isEmpty())
        return QUrl(overridden);
    QUrl feed = productWebsite();
    feed.setPath(QStringLiteral("/changelog.json"));
    return feed;
}

// One HTTP client for the process. Never destroyed, so a reply still owned by a running check
// never outlives its manager.
QNetworkAccessManager &sharedNetworkManager()
{
    static QNetworkAccessManager *const manager = new QNetworkAccessManager;
    return *manager;
}

// The network failed before an HTTP answer arrived (no connection, timeout, broken transfer).
// Errors in the content and server ranges are only QNetworkReply's reading of the status code,
// which the feed parser judges itself.
bool isTransportError(QNetworkReply::NetworkError error)
{
    if (error == QNetworkReply::NoError)
        return false;
    const bool contentError =
        error >= QNetworkReply::ContentAccessDenied && error <= QNetworkReply::UnknownContentError;
    const bool serverError =
        error >= QNetworkReply::InternalServerError && error <= QNetworkReply::UnknownServerError;
    return !contentError && !serverError;
}

// The feed's release, or the user-facing message of what went wrong.
std::variant<UpdateFeed::Entry, QString> readReply(QNetworkReply &reply)
{
    // Transport and JSON errors carry no text meant for the user.
    if (isTransportError(reply.error()))
        return couldNotCheck;
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    try {
        return UpdateFeed::parseFeed(reply.readAll(),
                                     status.isValid() ? std::optional<int>(status.toInt()) : std::nullopt);
    } catch (const FeedError &error) {
        return error.description();
    } catch (const FeedJsonError &) {
        return couldNotCheck;
    }
}

} // namespace

QString UpdateChecker::currentVersion()
{
#ifdef QUORLANE_VERSION
    const QString version = QStringLiteral(QUORLANE_VERSION);
    if (!version.isEmpty())
        return version;
#endif
    return QStringLiteral("1.0.0");
}

UpdateChecker::UpdateChecker(QString runningVersion, QObject *parent)
    : QObject(parent), m_websiteURL(productWebsite()), m_feedURL(feedURLForThisRun()),
      m_runningVersion(std::move(runningVersion))
{}

bool UpdateChecker::hasUpdate() const
{
    return !m_latestVersion.isEmpty() && UpdateFeed::compareVersions(m_latestVersion, m_runningVersion) ==
                                             UpdateFeed::VersionComparison::newer;
}

QCoro::Task<void> UpdateChecker::checkForUpdates()
{
    QPointer<UpdateChecker> self(this);
    setIsChecking(true);
    setCheckState(CheckState(CheckState::Kind::checking));

    QNetworkRequest request(m_feedURL);
    request.setTransferTimeout(int(m_limits.deadline.count()));
    const std::unique_ptr<QNetworkReply> reply(sharedNetworkManager().get(request));
    // The transfer timeout only notices silence: a feed that sends a byte now and then would
    // keep the check waiting for ever, and one that sends much would fill the memory.
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, reply.get(), &QNetworkReply::abort);
    deadline.start(m_limits.deadline);
    const qint64 maxBody = m_limits.maxBodyBytes;
    QObject::connect(reply.get(), &QNetworkReply::downloadProgress, reply.get(),
                     [reply = reply.get(), maxBody](qint64 received, qint64 total) {
                         if (received > maxBody || total > maxBody)
                             reply->abort();
                     });
    co_await qCoro(reply.get()).waitForFinished();
    if (!self)
        co_return;

    const std::variant<UpdateFeed::Entry, QString> outcome = readReply(*reply);
    const auto *entry = std::get_if<UpdateFeed::Entry>(&outcome);
    if (entry) {
        setLatestVersion(entry->version);
        setChangelogURL(entry->changelogURL.isEmpty() ? m_websiteURL : entry->changelogURL);
        switch (UpdateFeed::compareVersions(entry->version, m_runningVersion)) {
        case UpdateFeed::VersionComparison::newer:
            setCheckState(CheckState(CheckState::Kind::updateAvailable));
            break;
        case UpdateFeed::VersionComparison::notNewer:
            setCheckState(CheckState(CheckState::Kind::upToDate));
            break;
        case UpdateFeed::VersionComparison::undecidable:
            // Only the running version can be at fault here: the feed's was parsed already.
            setCheckState(
                CheckState(CheckState::Kind::failed, FeedError::message(FeedError::Kind::invalidVersion)));
            break;
        }
    } else {
        setLatestVersion({});
        setChangelogURL({});
        setCheckState(CheckState(CheckState::Kind::failed, std::get<QString>(outcome)));
    }

    if (!m_hasCheckedThisSession) {
        m_hasCheckedThisSession = true;
        Q_EMIT hasCheckedThisSessionChanged();
    }
    setIsChecking(false);
}

void UpdateChecker::setLatestVersion(const QString &version)
{
    if (m_latestVersion == version)
        return;
    m_latestVersion = version;
    Q_EMIT latestVersionChanged();
}

void UpdateChecker::setChangelogURL(const QUrl &url)
{
    if (m_changelogURL == url)
        return;
    m_changelogURL = url;
    Q_EMIT changelogURLChanged();
}

void UpdateChecker::setIsChecking(bool checking)
{
    if (m_isChecking == checking)
        return;
    m_isChecking = checking;
    Q_EMIT isCheckingChanged();
}

void UpdateChecker::setCheckState(const CheckState &state)
{
    if (m_checkState == state)
        return;
    m_checkState = state;
    Q_EMIT checkStateChanged();
}
