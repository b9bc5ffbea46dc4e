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
    finishChange(true, PlatformLoginItem::registerMainApplication());
}

void LoginItemManager::disable()
{
    finishChange(false, PlatformLoginItem::unregisterMainApplication());
}

void LoginItemManager::finishChange(bool wanted, bool succeeded)
{
    // A refused change leaves the key at the real status the constructor recorded.
    setIsEnabled(succeeded ? wanted : !wanted);
    if (succeeded)
        PreferenceStore::write(launchAtLoginKey, wanted);
}

void LoginItemManager::setIsEnabled(bool enabled)
{
    m_isEnabled = enabled;
    Q_EMIT isEnabledChanged();
}
