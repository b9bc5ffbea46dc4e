#pragma once

#include <QLatin1String>
#include <QObject>
#include <QString>

// Registers or unregisters Quorlane to start when the user logs in. Made for one change and
// dropped after it. Creating it records the platform's real status under "pref_launchAtLogin";
// a refused change leaves that key as it was and keeps the platform's reason in `failure`.
class LoginItemManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isEnabled READ isEnabled NOTIFY isEnabledChanged)

public:
    static constexpr QLatin1String launchAtLoginKey{"pref_launchAtLogin"};
    // The identifier of a separate launcher helper. Kept for reference only: registration always
    // concerns the main application itself.
    static constexpr QLatin1String serviceIdentifier{"dev.quorlane.LaunchAtLoginHelper"};

    explicit LoginItemManager(QObject *parent = nullptr);

    // Whether the application is registered and enabled; a registration still awaiting the
    // user's approval counts as not enabled.
    [[nodiscard]] bool isEnabled() const { return m_isEnabled; }
    // Registered, but the user has yet to allow it in System Settings (macOS).
    [[nodiscard]] bool requiresApproval() const { return m_requiresApproval; }
    // Why the last change was refused, as the platform put it; empty after a success.
    [[nodiscard]] const QString &failure() const { return m_failure; }
    // What the preferences page says under the switch: the reason of a refusal, the approval
    // still needed, or nothing.
    static QString note(const QString &failure, bool requiresApproval);

    void enable();
    void disable();

Q_SIGNALS:
    void isEnabledChanged();

private:
    void finishChange(bool wanted, const QString &failure);
    void setIsEnabled(bool enabled);

    bool m_isEnabled = false;
    bool m_requiresApproval = false;
    QString m_failure;
};
