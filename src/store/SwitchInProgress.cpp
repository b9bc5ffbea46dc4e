#include "store/SwitchInProgress.h"

#include <QCoreApplication>
#include <QTimer>

#include <atomic>

namespace SwitchInProgress {
namespace {

std::atomic<int> running = 0; // project switches run on workers

std::function<void()> &pending()
{
    static std::function<void()> action;
    return action;
}

// Queued to the main thread, never run inside the destructor of a Scope: the frame that holds
// the switch's locks has to finish unwinding first.
void runPendingLater()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return;
    QMetaObject::invokeMethod(
        app,
        [] {
            if (running > 0 || !pending())
                return;
            auto action = std::exchange(pending(), nullptr);
            action();
        },
        Qt::QueuedConnection);
}

} // namespace

Scope::Scope()
{
    ++running;
}

Scope::~Scope()
{
    // `pending` belongs to the main thread; the queued look at it decides.
    if (--running == 0)
        runPendingLater();
}

bool any()
{
    return running > 0;
}

void whenNone(std::function<void()> action)
{
    pending() = std::move(action);
    if (running == 0)
        runPendingLater();
}

} // namespace SwitchInProgress
