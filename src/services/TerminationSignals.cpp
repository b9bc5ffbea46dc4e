#include "services/TerminationSignals.h"

#include "platform/ChildGroups.h"
#include "store/SwitchInProgress.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace TerminationSignals {
namespace {

int pipeEnds[2] = {-1, -1};

void onSignal(int signal)
{
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    // Non-blocking: with the pipe full, the signals already in it say enough.
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &number, 1);
    errno = saved;
}

bool openPipe()
{
    if (::pipe(pipeEnds) != 0)
        return false;
    for (const int fd : pipeEnds) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    return true;
}

} // namespace

void install(std::function<void(int signal)> handler)
{
    static bool installed = false;
    if (installed || !QCoreApplication::instance() || !openPipe())
        return;
    installed = true;
    auto *notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [handler = std::move(handler)] {
        unsigned char number = 0;
        int last = 0;
        while (::read(pipeEnds[0], &number, 1) == 1)
            last = number;
        if (last != 0)
            SwitchInProgress::whenNone([handler, last] { handler(last); });
    });
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction action = {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(signal, &action, nullptr);
    }
}

void exitFor(int signal)
{
    ChildGroups::killAll();
    std::fflush(stdout);
    std::fflush(stderr);
    // Not exit(): workers may still be inside a read, and static destructors under them would
    // crash. Every lock this process held is gone with the switch that held it; Quorlane's lock
    // file is dropped by the kernel.
    ::_exit(128 + signal);
}

} // namespace TerminationSignals
