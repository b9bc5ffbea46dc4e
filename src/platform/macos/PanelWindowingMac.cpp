#include "platform/PanelWindowing.h"

// The menu bar's status item needs no waiting, and the outside-click monitor and the previous
// application belong to AppKit; until they are wired the shell falls back to focus loss.
namespace PanelWindowing {

bool hasEmbeddedTray()
{
    return false;
}
void keepOffTaskbar(QWindow *) {}
std::unique_ptr<QObject> watchGlobalPresses(std::function<void()>)
{
    return nullptr;
}
WId activeWindow()
{
    return 0;
}
void activate(WId) {}

} // namespace PanelWindowing
