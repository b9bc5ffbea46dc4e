#include "platform/ChildGroups.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <iterator>
#include <mutex>

namespace ChildGroups {
namespace {

// Plain slots instead of a container: the signal handler may read them at any instruction.
constexpr int slotCount = 512;
std::atomic<pid_t> slots[slotCount];
static_assert(std::atomic<pid_t>::is_always_lock_free);

constexpr int endingSignals[] = {SIGTERM, SIGINT, SIGHUP};
struct sigaction previousActions[std::size(endingSignals)];

void onEndingSignal(int signal)
{
    killAll();
    for (size_t i = 0; i < std::size(endingSignals); ++i) {
        if (endingSignals[i] != signal)
            continue;
        const struct sigaction &previous = previousActions[i];
        // A handler that was there before us decides what the signal means for the program.
        if (!(previous.sa_flags & SA_SIGINFO) && previous.sa_handler != SIG_DFL &&
            previous.sa_handler != SIG_IGN) {
            previous.sa_handler(signal);
            return;
        }
        if (previous.sa_flags & SA_SIGINFO) {
            ::sigaction(signal, &previous, nullptr);
            ::raise(signal);
            return;
        }
    }
    // The default action ends the process with the signal, as if we had not been here.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

void install()
{
    for (size_t i = 0; i < std::size(endingSignals); ++i) {
        struct sigaction current;
        ::sigaction(endingSignals[i], nullptr, &current);
        // A program that ignores the signal keeps running, and so do its children.
        if (!(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_IGN)
            continue;
        previousActions[i] = current;
        struct sigaction ours = {};
        ours.sa_handler = onEndingSignal;
        sigemptyset(&ours.sa_mask);
        ::sigaction(endingSignals[i], &ours, nullptr);
    }
    std::atexit(killAll);
}

} // namespace

void installHandlers()
{
    static std::once_flag installed;
    std::call_once(installed, install);
}

bool add(pid_t group)
{
    for (std::atomic<pid_t> &slot : slots) {
        pid_t empty = 0;
        if (slot.compare_exchange_strong(empty, group))
            return true;
    }
    return false;
}

void remove(pid_t group)
{
    for (std::atomic<pid_t> &slot : slots) {
        pid_t expected = group;
        if (slot.compare_exchange_strong(expected, 0))
            return;
    }
}

void killAll()
{
    for (std::atomic<pid_t> &slot : slots) {
        const pid_t group = slot.load();
        if (group > 0)
            ::kill(-group, SIGKILL);
    }
}

} // namespace ChildGroups
