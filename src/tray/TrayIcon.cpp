#include "tray/TrayIcon.h"

namespace {

const QString symbolicName = QStringLiteral("dev.quorlane.Quorlane-symbolic");

// Hosts that draw a "-symbolic" theme icon in their own text colour: GTK-based panels and
// Plasma. Others show its grey as it is, which vanishes on a light panel.
bool recoloursSymbolicIcons(const QString &desktop)
{
    static const QStringList recolouring{"KDE",    "GNOME",    "Unity", "XFCE",
                                         "Budgie", "Cinnamon", "MATE",  "Pantheon"};
    const QStringList names = desktop.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return std::any_of(names.cbegin(), names.cend(), [](const QString &name) {
        return recolouring.contains(name, Qt::CaseInsensitive) ||
               name.endsWith(u"GNOME", Qt::CaseInsensitive);
    });
}

} // namespace

namespace TrayIcon {

QIcon twoTone()
{
    return QIcon(QStringLiteral(":/quorlane/icons/TrayIcon.svg"));
}

QIcon forTray(TrayPresence::Kind kind, const QString &desktop)
{
#ifdef Q_OS_MACOS
    Q_UNUSED(kind)
    Q_UNUSED(desktop)
    QIcon icon(QStringLiteral(":/quorlane/icons/MenuBarIcon.svg"));
    icon.setIsMask(true); // a template: the menu bar tints it
    return icon;
#else
    // A named theme icon travels to a StatusNotifierItem host by name, so the host draws it in
    // its own colours; an XEmbed tray only ever gets our pixels.
    if (kind == TrayPresence::Kind::statusNotifier && recoloursSymbolicIcons(desktop) &&
        QIcon::hasThemeIcon(symbolicName))
        return QIcon::fromTheme(symbolicName);
    return twoTone();
#endif
}

QIcon application()
{
    return QIcon::fromTheme(QStringLiteral("dev.quorlane.Quorlane"),
                            QIcon(QStringLiteral(":/quorlane/icons/dev.quorlane.Quorlane.svg")));
}

} // namespace TrayIcon
