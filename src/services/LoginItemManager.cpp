#include "services/LoginItemManager.h"

#include "platform/PlatformLoginItem.h"
#include "platform/PreferenceStore.h"

LoginItemManager::LoginItemManager(QObject *parent) : QObject(parent)
{
    const PlatformLoginItem::Status status = PlatformLoginItem::status();
    m_isEnabled = status == PlatformLoginItem::Status::enabled;
    m_requiresApproval = status == PlatformLoginItem::Status::requiresApproval;
    PreferenceStore::write(launchAtLoginKey, m_isEnabled);
}

QString LoginItemManager::note(const QString &failure, bool requiresApproval)
{
    if (!failure.isEmpty())
        return QStringLiteral("Not changed: %1").arg(failure);
    if (requiresApproval)
        return QStringLiteral("Needs your approval in System Settings › Login Items");
    return {};
}

void LoginItemManager::enable()
{
    finishChange(true, PlatformLoginItem::registerMainApplication());
}

void LoginItemManager::disable()
{
    finishChange(false, PlatformLoginItem::unregisterMainApplication());
}

void LoginItemManager::finishChange(bool wanted, const QString &failure)
{
    m_failure = failure;
    if (!failure.isEmpty()) {
        // A refused change leaves the key at the real status the constructor recorded.
        setIsEnabled(!wanted);
        return;
    }
    // An accepted registration may still wait for the user's approval: it is not on until then.
    m_requiresApproval = wanted && PlatformLoginItem::status() == PlatformLoginItem::Status::requiresApproval;
    const bool enabled = wanted && !m_requiresApproval;
    setIsEnabled(enabled);
    PreferenceStore::write(launchAtLoginKey, enabled);
}

void LoginItemManager::setIsEnabled(bool enabled)
{
    m_isEnabled = enabled;
    Q_EMIT isEnabledChanged();
}
