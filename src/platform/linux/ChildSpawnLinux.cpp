#include "platform/ChildSpawn.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

namespace ChildSpawn {

// Linux sets close-on-exec atomically with the pipe.
bool makePipe(int fds[2])
{
    return ::pipe2(fds, O_CLOEXEC) == 0;
}

// fork instead of posix_spawn: only a forked child can ask for the parent-death signal before it
// runs the program, so that even a SIGKILL of this process ends the child. Between fork and exec
// the child makes system calls only (no allocation, no locks), as a child of a threaded process
// must.
pid_t spawn(const char *path, char *const argv[], char *const envp[], const Streams &streams)
{
    int status[2];
    if (!makePipe(status))
        return -1;
    // Signals wait until the child has reset their actions: our handlers must never run there.
    sigset_t all;
    sigfillset(&all);
    sigset_t previousMask;
    pthread_sigmask(SIG_SETMASK, &all, &previousMask);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) // we died before the request was made
            ::_exit(127);
        const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        ::dup2(streams.input >= 0 ? streams.input : null, STDIN_FILENO);
        ::dup2(streams.output, STDOUT_FILENO);
        ::dup2(streams.errorsToOutput ? streams.output : null, STDERR_FILENO);
        for (const int sig : defaultSignals)
            ::signal(sig, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execve(path, argv, envp);
        const int error = errno;
        [[maybe_unused]] const ssize_t ignored = ::write(status[1], &error, sizeof error);
        ::_exit(127);
    }
    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    closeFd(status[1]);
    if (pid < 0) {
        closeFd(status[0]);
        return -1;
    }
    // Also from here: a kill of the group must reach the child even before it ran setpgid.
    ::setpgid(pid, pid);
    // The status pipe closes on exec; bytes on it are the errno of a failed exec.
    int error = 0;
    ssize_t n;
    do {
        n = ::read(status[0], &error, sizeof error);
    } while (n < 0 && errno == EINTR);
    closeFd(status[0]);
    if (n > 0) {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        return -1;
    }
    return pid;
}

} // namespace ChildSpawn
