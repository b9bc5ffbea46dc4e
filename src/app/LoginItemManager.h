#pragma once

#include <QLatin1String>
#include <QObject>

// Registers or unregisters Quorlane to start when the user logs in. Made for one change and
// dropped after it. Creating it records the platform's real status under "pref_launchAtLogin";
// a failed change is swallowed and leaves that key as it was.
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

    void enable();
    void disable();

Q_SIGNALS:
    void isEnabledChanged();

private:
    void finishChange(bool wanted, bool succeeded);
    void setIsEnabled(bool enabled);

    bool m_isEnabled = false;
};
