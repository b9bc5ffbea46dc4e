#pragma once

#include "tray/TrayPresence.h"

#include <QIcon>
#include <QString>

// The images Quorlane shows of itself: in the tray or menu bar, and on its window.
namespace TrayIcon {

// The tray's icon for a tray of `kind` on the desktop `desktop` (XDG_CURRENT_DESKTOP). The menu
// bar tints a template; a host that recolours symbolic icons gets the themed symbolic one; every
// other tray gets two tones that read on light and dark panels alike.
[[nodiscard]] QIcon forTray(TrayPresence::Kind kind, const QString &desktop);

// The two-tone picture itself, whatever the theme holds.
[[nodiscard]] QIcon twoTone();

// The application's own icon: the window's, the desktop entry's.
[[nodiscard]] QIcon application();

} // namespace TrayIcon
