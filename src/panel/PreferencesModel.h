#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

#include <functional>

class AppPreferences;
class MCPConfigService;
class TokenSavingsService;
class UpdateChecker;

// What the preferences page shows: the two settings, the savings figures and the version line
// with its update status. The page binds to these properties and forwards its clicks here.
class PreferencesModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Owned by the panel")
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin WRITE setLaunchAtLogin NOTIFY launchAtLoginChanged)
    // Under the switch: an approval still to give in System Settings, or why a change was refused.
    Q_PROPERTY(QString launchAtLoginNote READ launchAtLoginNote NOTIFY launchAtLoginNoteChanged)
    Q_PROPERTY(bool autoRelaunch READ autoRelaunch WRITE setAutoRelaunch NOTIFY autoRelaunchChanged)
    Q_PROPERTY(bool savingsEmpty READ savingsEmpty NOTIFY savingsChanged)
    Q_PROPERTY(QString estimatedText READ estimatedText NOTIFY savingsChanged)
    Q_PROPERTY(QString costText READ costText NOTIFY savingsChanged)
    Q_PROPERTY(QString sessionsText READ sessionsText NOTIFY savingsChanged)
    Q_PROPERTY(QString currentVersion READ currentVersion CONSTANT)
    // "checking", "updateAvailable", "failed" or "other".
    Q_PROPERTY(QString updateStatus READ updateStatusName NOTIFY updateChanged)
    Q_PROPERTY(QString updateText READ updateText NOTIFY updateChanged)

public:
    enum class UpdateStatus
    {
        checking,        // a spinner
        updateAvailable, // the link to the changelog
        failed,          // the message, clickable to retry
        other,           // "Up to date" or "Check for updates", clickable
    };

    // `weights` hands over the main panel's current token figures when a refresh starts.
    PreferencesModel(MCPConfigService *config, AppPreferences *prefs, TokenSavingsService *savings,
                     UpdateChecker *updater, std::function<QHash<QString, qint64>()> weights,
                     QObject *parent = nullptr);

    [[nodiscard]] bool launchAtLogin() const;
    void setLaunchAtLogin(bool value);
    [[nodiscard]] QString launchAtLoginNote() const;
    [[nodiscard]] bool autoRelaunch() const;
    void setAutoRelaunch(bool value);

    [[nodiscard]] bool savingsEmpty() const;
    [[nodiscard]] QString estimatedText() const;
    [[nodiscard]] QString costText() const;
    [[nodiscard]] QString sessionsText() const;

    [[nodiscard]] QString currentVersion() const;
    [[nodiscard]] UpdateStatus updateStatus() const;
    [[nodiscard]] QString updateStatusName() const;
    // The failure message, or "Up to date" / "Check for updates".
    [[nodiscard]] QString updateText() const;

    // The page became visible: the first time in this run it checks for updates; each time it
    // asks the login-item service again, as the user may have approved the item meanwhile.
    Q_INVOKABLE void pageShown();
    Q_INVOKABLE void refreshSavings();
    Q_INVOKABLE void checkForUpdates();
    Q_INVOKABLE void openChangelog();

Q_SIGNALS:
    void launchAtLoginChanged();
    void launchAtLoginNoteChanged();
    void autoRelaunchChanged();
    void savingsChanged();
    void updateChanged();

private:
    QPointer<MCPConfigService> m_config;
    AppPreferences *m_prefs;
    TokenSavingsService *m_savings;
    UpdateChecker *m_updater;
    std::function<QHash<QString, qint64>()> m_weights;
};
