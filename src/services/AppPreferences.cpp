#include "services/AppPreferences.h"

#include "platform/PlatformLoginItem.h"
#include "platform/PreferenceStore.h"
#include "services/LoginItemManager.h"

namespace {

// A value of another type (a text "false", say) is treated as if the key were absent.
bool storedBool(const QVariant &value, bool fallback)
{
    return value.typeId() == QMetaType::Bool ? value.toBool() : fallback;
}

} // namespace

AppPreferences::AppPreferences(QObject *parent) : QObject(parent)
{
    const auto store = PreferenceStore::open();
    m_autoRelaunch = storedBool(store->value(PreferenceKeys::autoRelaunch), true);
    m_launchAtLogin = storedBool(store->value(PreferenceKeys::launchAtLogin), false);
    m_excludedPaths =
        PreferenceStore::stringList(store->value(PreferenceKeys::excludedPaths)).value_or(QStringList{});
    m_panelState = panelStateFromStoredValue(store->value(PreferenceKeys::panelState));
}

void AppPreferences::setAutoRelaunch(bool value)
{
    m_autoRelaunch = value;
    PreferenceStore::writeLater(PreferenceKeys::autoRelaunch, value);
    Q_EMIT autoRelaunchChanged();
}

void AppPreferences::setLaunchAtLogin(bool value)
{
    m_launchAtLogin = value;
    PreferenceStore::write(PreferenceKeys::launchAtLogin, value);
    Q_EMIT launchAtLoginChanged();
    // Registration talks to the platform, so it runs on a later turn of the event loop rather
    // than inside the assignment. The manager first overwrites the key with the real status; a
    // successful change then writes the requested value again, a failed one leaves the status.
    QMetaObject::invokeMethod(
        this,
        [this, value] {
            LoginItemManager manager;
            if (value)
                manager.enable();
            else
                manager.disable();
            setLoginItemStatus(manager.failure(), manager.requiresApproval());
            Q_EMIT loginItemChangeFinished(manager.isEnabled());
        },
        Qt::QueuedConnection);
}

QString AppPreferences::loginItemNote() const
{
    return LoginItemManager::note(m_loginItemFailure, m_loginItemRequiresApproval);
}

void AppPreferences::refreshLoginItemNote()
{
    setLoginItemStatus({}, PlatformLoginItem::status() == PlatformLoginItem::Status::requiresApproval);
}

void AppPreferences::setLoginItemStatus(const QString &failure, bool requiresApproval)
{
    const QString before = loginItemNote();
    m_loginItemFailure = failure;
    m_loginItemRequiresApproval = requiresApproval;
    if (loginItemNote() != before)
        Q_EMIT loginItemNoteChanged();
}

void AppPreferences::setExcludedPaths(const QStringList &value)
{
    // In memory only: the list is the user's to edit, and the loader reads the stored one.
    m_excludedPaths = value;
    Q_EMIT excludedPathsChanged();
}

void AppPreferences::setPanelState(PanelState value)
{
    m_panelState = value;
    PreferenceStore::writeLater(PreferenceKeys::panelState, panelStateStoredValue(value));
    Q_EMIT panelStateChanged();
}
