#include "tray/PanelWindowing.h"

#include <QWindow>

#import <AppKit/AppKit.h>

#include <unistd.h>

// The menu bar is always there, presses elsewhere come from a global NSEvent monitor, and the
// window to give the focus back to is the application that was frontmost, named by its pid.
namespace PanelWindowing {
namespace {

// Owns one global monitor (this file is built with ARC, which keeps the token alive); AppKit
// calls its handler on the main thread.
class GlobalPressMonitor : public QObject
{
public:
    explicit GlobalPressMonitor(std::function<void()> onPress)
    {
        // Global monitors see only events sent to other applications: presses inside the panel
        // never arrive here.
        m_monitor = [NSEvent
            addGlobalMonitorForEventsMatchingMask:(NSEventMaskLeftMouseDown | NSEventMaskRightMouseDown)
                                          handler:^(NSEvent *) {
                                            onPress();
                                          }];
    }
    ~GlobalPressMonitor() override
    {
        if (m_monitor)
            [NSEvent removeMonitor:m_monitor];
    }
    [[nodiscard]] bool isInstalled() const { return m_monitor != nil; }

private:
    id m_monitor = nil;
};

NSWindow *nsWindow(QWindow *window)
{
    // Qt's window id on macOS is the window's NSView.
    NSView *view = (__bridge NSView *)reinterpret_cast<void *>(window->winId());
    return view ? view.window : nil;
}

} // namespace

void becomeAccessory()
{
    [NSApp setActivationPolicy:NSApplicationActivationPolicyAccessory];
}

bool hasEmbeddedTray()
{
    return false;
}

bool hasCompositor()
{
    return true; // every macOS window is composited
}

void keepOffTaskbar(QWindow *window)
{
    if (!window)
        return;
    NSWindow *panel = nsWindow(window);
    if (!panel)
        return;
    keepLevelAfterFlagChange(window);
    panel.movable = NO;
    panel.hidesOnDeactivate = NO;
}

void keepLevelAfterFlagChange(QWindow *window)
{
    NSWindow *panel = window ? nsWindow(window) : nil;
    if (!panel)
        return;
    // Qt's setWindowFlags assigns the level and the full-screen bits of the collection behaviour
    // from the flags; both are set again, collection behaviour first, as AppKit checks the pair
    // when the level changes.
    panel.collectionBehavior = NSWindowCollectionBehaviorCanJoinAllSpaces |
                               NSWindowCollectionBehaviorFullScreenAuxiliary |
                               NSWindowCollectionBehaviorIgnoresCycle;
    panel.level = NSPopUpMenuWindowLevel;
}

void setInputRegion(QWindow *, const QRect &)
{
    // AppKit has no input shape short of ignoring all presses. Presses on fully clear pixels go
    // through already; one on the faint shadow stays with the panel's window and changes nothing.
}

std::unique_ptr<QObject> watchGlobalPresses(std::function<void()> onPress)
{
    auto monitor = std::make_unique<GlobalPressMonitor>(std::move(onPress));
    if (!monitor->isInstalled())
        return nullptr;
    return monitor;
}

WId activeWindow()
{
    NSRunningApplication *front = NSWorkspace.sharedWorkspace.frontmostApplication;
    // Ourselves is no application to give the focus back to.
    if (!front || front.processIdentifier == getpid())
        return 0;
    return WId(front.processIdentifier);
}

void activate(WId window)
{
    if (!window)
        return;
    NSRunningApplication *app = [NSRunningApplication runningApplicationWithProcessIdentifier:pid_t(window)];
    [app activateWithOptions:0];
}

} // namespace PanelWindowing
