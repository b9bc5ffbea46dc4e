#pragma once

#include "services/PanelState.h"

#include <QLatin1String>
#include <QObject>
#include <QStringList>

// The store keys of the user's settings: "pref_" plus the field name.
namespace PreferenceKeys {
inline constexpr QLatin1String autoRelaunch{"pref_autoRelaunch"};
inline constexpr QLatin1String launchAtLogin{"pref_launchAtLogin"};
inline constexpr QLatin1String excludedPaths{"pref_excludedPaths"};
inline constexpr QLatin1String panelState{"pref_panelState"};
} // namespace PreferenceKeys

// The user's settings. Loaded from the preference store once, at construction, and never
// reloaded; every assignment (even of the current value) is written to the store, except
// `excludedPaths`, which the configuration loader reads straight from the store on each load and
// nothing here writes. `autoRelaunch` and `panelState` change on a click in the panel, so they are
// written in the background, in order (PreferenceStore::writeLater). Lives on the main thread.
class AppPreferences : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool autoRelaunch READ autoRelaunch WRITE setAutoRelaunch NOTIFY autoRelaunchChanged)
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin WRITE setLaunchAtLogin NOTIFY launchAtLoginChanged)
    Q_PROPERTY(
        QStringList excludedPaths READ excludedPaths WRITE setExcludedPaths NOTIFY excludedPathsChanged)
    Q_PROPERTY(
        PanelStates::PanelState panelState READ panelState WRITE setPanelState NOTIFY panelStateChanged)
    // Under the launch-at-login switch: an approval the user still has to give in System
    // Settings, or why the last change was refused; empty otherwise.
    Q_PROPERTY(QString loginItemNote READ loginItemNote NOTIFY loginItemNoteChanged)

public:
    // An instance loaded from the store now. The application's own lives in ApplicationServices.
    explicit AppPreferences(QObject *parent = nullptr);

    [[nodiscard]] bool autoRelaunch() const { return m_autoRelaunch; }
    [[nodiscard]] bool launchAtLogin() const { return m_launchAtLogin; }
    [[nodiscard]] const QStringList &excludedPaths() const { return m_excludedPaths; }
    [[nodiscard]] PanelState panelState() const { return m_panelState; }
    [[nodiscard]] QString loginItemNote() const;
    // As of the last change or refresh: registered but not yet allowed by the user, and why the
    // last change was refused (empty after a success).
    [[nodiscard]] bool loginItemRequiresApproval() const { return m_loginItemRequiresApproval; }
    [[nodiscard]] const QString &loginItemFailure() const { return m_loginItemFailure; }
    // Asks the platform again: the user may have given or withdrawn the approval meanwhile.
    void refreshLoginItemNote();

    void setAutoRelaunch(bool value);
    // Also registers or unregisters the login item, on a later turn of the event loop; the
    // outcome is announced by `loginItemChangeFinished`.
    void setLaunchAtLogin(bool value);
    void setExcludedPaths(const QStringList &value);
    void setPanelState(PanelState value);

Q_SIGNALS:
    void autoRelaunchChanged();
    void launchAtLoginChanged();
    void excludedPathsChanged();
    void panelStateChanged();
    void loginItemNoteChanged();
    // The login item's real status once the change scheduled by `setLaunchAtLogin` has run.
    void loginItemChangeFinished(bool isEnabled);

private:
    bool m_autoRelaunch = true;
    bool m_launchAtLogin = false;
    QStringList m_excludedPaths;
    PanelState m_panelState = PanelState::main;
    QString m_loginItemFailure;
    bool m_loginItemRequiresApproval = false;

    void setLoginItemStatus(const QString &failure, bool requiresApproval);
};
