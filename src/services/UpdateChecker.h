#pragma once

#include "services/CheckState.h"

#include <QObject>
#include <QUrl>

#include <QCoro/QCoroTask>

#include <chrono>

// Asks the product website whether a newer release exists and publishes the outcome. Lives on
// the main thread; nothing it learns is persisted.
class UpdateChecker : public QObject
{
    Q_OBJECT
    // Empty while no check has succeeded: absent.
    Q_PROPERTY(QString latestVersion READ latestVersion NOTIFY latestVersionChanged)
    // Empty while no check has succeeded: absent.
    Q_PROPERTY(QUrl changelogURL READ changelogURL NOTIFY changelogURLChanged)
    Q_PROPERTY(bool isChecking READ isChecking NOTIFY isCheckingChanged)
    Q_PROPERTY(CheckState checkState READ checkState NOTIFY checkStateChanged)
    Q_PROPERTY(QUrl websiteURL READ websiteURL CONSTANT)
    Q_PROPERTY(bool hasUpdate READ hasUpdate NOTIFY latestVersionChanged)
    Q_PROPERTY(bool hasCheckedThisSession READ hasCheckedThisSession NOTIFY hasCheckedThisSessionChanged)

public:
    // How long a whole check may take, however the feed trickles its bytes in, and the most a
    // feed may send: the real feed is a few hundred bytes.
    struct Limits
    {
        std::chrono::milliseconds deadline{15'000};
        qint64 maxBodyBytes = 1 << 20;
    };

    // The running application's version, from the build; "1.0.0" when the build names none.
    [[nodiscard]] static QString currentVersion();

    // `runningVersion` is what a feed version is compared with. The feed URL is fixed here:
    // the website's "/changelog.json", or QUORLANE_FEED_URL when that is set.
    explicit UpdateChecker(QString runningVersion = currentVersion(), QObject *parent = nullptr);

    // Tests shorten the deadline; the application keeps the defaults.
    void setLimits(Limits limits) { m_limits = limits; }

    [[nodiscard]] const QString &latestVersion() const { return m_latestVersion; }
    [[nodiscard]] const QUrl &changelogURL() const { return m_changelogURL; }
    [[nodiscard]] bool isChecking() const { return m_isChecking; }
    [[nodiscard]] const CheckState &checkState() const { return m_checkState; }
    [[nodiscard]] const QUrl &websiteURL() const { return m_websiteURL; }
    [[nodiscard]] const QUrl &feedURL() const { return m_feedURL; }
    [[nodiscard]] bool hasCheckedThisSession() const { return m_hasCheckedThisSession; }
    [[nodiscard]] const QString &runningVersion() const { return m_runningVersion; }

    // A known latest version that is newer than the running one.
    [[nodiscard]] bool hasUpdate() const;

    // One check. A second call while one runs starts another; whichever ends last is published.
    QCoro::Task<void> checkForUpdates();

Q_SIGNALS:
    void latestVersionChanged();
    void changelogURLChanged();
    void isCheckingChanged();
    void checkStateChanged();
    void hasCheckedThisSessionChanged();

private:
    void setLatestVersion(const QString &version);
    void setChangelogURL(const QUrl &url);
    void setIsChecking(bool checking);
    void setCheckState(const CheckState &state);

    QString m_latestVersion;
    QUrl m_changelogURL;
    bool m_isChecking = false;
    CheckState m_checkState;
    const QUrl m_websiteURL;
    const QUrl m_feedURL;
    bool m_hasCheckedThisSession = false;
    const QString m_runningVersion;
    Limits m_limits;
};
