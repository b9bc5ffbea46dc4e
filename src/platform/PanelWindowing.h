#pragma once

#include <QObject>
#include <QtGui/qwindowdefs.h>

#include <functional>
#include <memory>

class QWindow;

// What the tray application needs from the window system beyond Qt: whether a tray is up, a
// window kept off the taskbar and on every desktop, a watch on mouse presses in other
// applications, and the active window to give the focus back to. Each answers "cannot" where
// the platform or session does not offer it, and the caller falls back.
namespace PanelWindowing {

// An XEmbed system tray owns its selection on this display (X11 only).
[[nodiscard]] bool hasEmbeddedTray();

// Before the window is first shown: keep it out of the taskbar and the pager and show it on
// every virtual desktop.
void keepOffTaskbar(QWindow *window);

// Calls `onPress` on the main thread for each left or right button press anywhere on the
// display, without grabbing the pointer. nullptr when the platform cannot watch presses
// outside the application.
[[nodiscard]] std::unique_ptr<QObject> watchGlobalPresses(std::function<void()> onPress);

// The window that has the keyboard focus now, and giving it back; 0 / no-op where unknown.
[[nodiscard]] WId activeWindow();
void activate(WId window);

} // namespace PanelWindowing
