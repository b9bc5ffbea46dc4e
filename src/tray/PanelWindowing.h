#pragma once

#include <QObject>
#include <QtGui/qwindowdefs.h>

#include <functional>
#include <memory>

class QRect;
class QWindow;

// What the tray application needs from the window system beyond Qt: whether a tray is up, a
// window kept off the taskbar and on every desktop, a watch on mouse presses in other
// applications, and the active window to give the focus back to. Each answers "cannot" where
// the platform or session does not offer it, and the caller falls back.
namespace PanelWindowing {

// No Dock icon or menu bar of our own, even when started outside the bundle (macOS only).
void becomeAccessory();

// An XEmbed system tray owns its selection on this display (X11 only).
[[nodiscard]] bool hasEmbeddedTray();

// A compositing manager runs, so translucent pixels (the panel's shadow) blend with what lies
// below; without one they would show as a dark frame.
[[nodiscard]] bool hasCompositor();

// Before the window is first shown: keep it out of the taskbar and the pager and show it on
// every virtual desktop.
void keepOffTaskbar(QWindow *window);

// After each change of the window's flags: Qt then resets the native window level on macOS,
// which would drop the panel below other applications' windows while it is open.
void keepLevelAfterFlagChange(QWindow *window);

// Presses outside `region` (window coordinates) go through to what lies below: the shadow
// around the panel must not swallow a click meant for another application.
void setInputRegion(QWindow *window, const QRect &region);

// Calls `onPress` on the main thread for each left or right button press anywhere on the
// display, without grabbing the pointer. nullptr when the platform cannot watch presses
// outside the application.
[[nodiscard]] std::unique_ptr<QObject> watchGlobalPresses(std::function<void()> onPress);

// The window that has the keyboard focus now (on macOS: the frontmost application other than
// ours), and giving it back; 0 / no-op where unknown.
[[nodiscard]] WId activeWindow();
void activate(WId window);

} // namespace PanelWindowing
