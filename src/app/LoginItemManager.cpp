#include "LoginItemManager.h"

#include "platform/PlatformLoginItem.h"
#include "platform/PreferenceStore.h"

LoginItemManager::LoginItemManager(QObject *parent)
    : QObject(parent), m_isEnabled(PlatformLoginItem::isRegisteredAndEnabled())
{
    PreferenceStore::write(launchAtLoginKey, m_isEnabled);
}

void LoginItemManager::enable()
{
    if (!PlatformLoginItem::registerMainApplication()) {
        setIsEnabled(false);
        return;
    }
    setIsEnabled(true);
    PreferenceStore::write(launchAtLoginKey, true);
}

void LoginItemManager::disable()
{
    if (!PlatformLoginItem::unregisterMainApplication()) {
        setIsEnabled(true);
        return;
    }
    setIsEnabled(false);
    PreferenceStore::write(launchAtLoginKey, false);
}

void LoginItemManager::setIsEnabled(bool enabled)
{
    m_isEnabled = enabled;
    Q_EMIT isEnabledChanged();
}
