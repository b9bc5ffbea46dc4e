#include "platform/ChildProcess.h"
#include "platform/ChildGroups.h"

#include <QElapsedTimer>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <vector>

namespace {

// How long a terminated child may take to exit before it is killed.
constexpr int terminateGraceMs = 1500;

// Signals a child starts with at their default action, whatever this process does with them.
constexpr int defaultSignals[] = {SIGPIPE, SIGHUP, SIGINT, SIGQUIT, SIGTERM};

// Close-on-exec, so a pipe end never leaks into a child another thread starts at the same time
// (it would keep our child's input open after we close it). Linux sets the flag atomically;
// macOS has no pipe2, and there only a spawn in the instant between the two calls can leak.
bool makePipe(int fds[2])
{
#ifdef __linux__
    return ::pipe2(fds, O_CLOEXEC) == 0;
#else
    if (::pipe(fds) != 0)
        return false;
    for (int i = 0; i < 2; ++i)
        ::fcntl(fds[i], F_SETFD, FD_CLOEXEC);
    return true;
#endif
}

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

std::vector<std::string> toStrings(const QStringList &texts)
{
    std::vector<std::string> result;
    result.reserve(size_t(texts.size()));
    for (const QString &text : texts)
        result.push_back(text.toStdString());
    return result;
}

std::vector<char *> toPointers(std::vector<std::string> &strings)
{
    std::vector<char *> pointers;
    pointers.reserve(strings.size() + 1);
    for (std::string &s : strings)
        pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

bool groupAlive(pid_t group)
{
    return ::kill(-group, 0) == 0;
}

// What the child's three standard descriptors become: the pipe ends, or -1 for /dev/null.
struct Streams
{
    int input = -1;
    int output = -1;
    bool errorsToOutput = false;
};

#ifdef __linux__
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
#else
pid_t spawn(const char *path, char *const argv[], char *const envp[], const Streams &streams)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (streams.input >= 0)
        posix_spawn_file_actions_adddup2(&actions, streams.input, STDIN_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, streams.output, STDOUT_FILENO);
    if (streams.errorsToOutput)
        posix_spawn_file_actions_adddup2(&actions, streams.output, STDERR_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t noSignals;
    sigemptyset(&noSignals);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int sig : defaultSignals)
        sigaddset(&defaults, sig);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setsigmask(&attributes, &noSignals);
    posix_spawnattr_setsigdefault(&attributes, &defaults);

    pid_t pid = -1;
    const int error = ::posix_spawn(&pid, path, &actions, &attributes, argv, envp);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return error == 0 ? pid : -1;
}
#endif

} // namespace

std::unique_ptr<ChildProcess> ChildProcess::start(const QString &program, const QStringList &arguments,
                                                  const QStringList &environment, bool withInput,
                                                  bool errorsToOutput)
{
    // Before the child exists, so that no signal can come between its start and its record.
    ChildGroups::installHandlers();
    int input[2] = {-1, -1};
    int output[2] = {-1, -1};
    if ((withInput && !makePipe(input)) || !makePipe(output)) {
        closeFd(input[0]);
        closeFd(input[1]);
        return nullptr;
    }

    std::vector<std::string> argvStrings = toStrings(QStringList{program} + arguments);
    std::vector<std::string> envStrings = toStrings(environment);
    std::vector<char *> argv = toPointers(argvStrings);
    std::vector<char *> envp = toPointers(envStrings);
    const pid_t pid =
        spawn(argvStrings.front().c_str(), argv.data(), envp.data(), {input[0], output[1], errorsToOutput});

    closeFd(input[0]);
    closeFd(output[1]);
    if (pid < 0) {
        closeFd(input[1]);
        closeFd(output[0]);
        return nullptr;
    }
    ChildGroups::add(pid);
    return std::unique_ptr<ChildProcess>(new ChildProcess(pid, input[1], output[0]));
}

ChildProcess::~ChildProcess()
{
    terminate();
}

bool ChildProcess::write(const QByteArray &bytes)
{
    if (m_input < 0)
        return false;
    // A child that has closed its input would answer the write with SIGPIPE, which ends the
    // whole application by default: block it on this thread and swallow it if it came.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigset_t previousMask;
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previousMask);
    sigset_t pendingBefore;
    sigpending(&pendingBefore);

    bool ok = true;
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(m_input, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        written += n;
    }

    if (!ok && !sigismember(&pendingBefore, SIGPIPE)) {
        sigset_t pendingNow;
        sigpending(&pendingNow);
        if (sigismember(&pendingNow, SIGPIPE)) {
            int received = 0;
            sigwait(&pipeSignal, &received);
        }
    }
    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    return ok;
}

ChildProcess::ReadStatus ChildProcess::read(QByteArray &buffer, std::chrono::milliseconds timeout)
{
    if (m_output < 0)
        return ReadStatus::endOfStream;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const qint64 left = std::max<qint64>(0, timeout.count() - clock.elapsed());
        pollfd watched{m_output, POLLIN, 0};
        const int ready = ::poll(&watched, 1, int(std::min<qint64>(left, 60'000)));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return ReadStatus::endOfStream;
        if (ready == 0) {
            if (clock.elapsed() >= timeout.count())
                return ReadStatus::timedOut;
            continue;
        }
        char chunk[65536];
        const ssize_t n = ::read(m_output, chunk, sizeof chunk);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            return ReadStatus::endOfStream;
        buffer.append(chunk, n);
        return ReadStatus::data;
    }
}

QByteArray ChildProcess::readToEnd()
{
    QByteArray buffer;
    while (read(buffer, std::chrono::hours(24)) == ReadStatus::data) {
    }
    return buffer;
}

void ChildProcess::closeInput()
{
    closeFd(m_input);
}

void ChildProcess::closePipes()
{
    closeFd(m_input);
    closeFd(m_output);
}

bool ChildProcess::reap(bool block)
{
    if (m_reaped)
        return true;
    for (;;) {
        int status = 0;
        const pid_t result = ::waitpid(m_pid, &status, block ? 0 : WNOHANG);
        if (result == -1 && errno == EINTR)
            continue;
        if (result == m_pid && WIFEXITED(status))
            m_exitCode = WEXITSTATUS(status);
        // -1 with ECHILD: someone else reaped it; nothing left to wait for.
        m_reaped = result == m_pid || result == -1;
        return m_reaped;
    }
}

bool ChildProcess::waitForExit(std::chrono::milliseconds timeout)
{
    QElapsedTimer clock;
    clock.start();
    unsigned long pause = 1;
    while (!reap(false)) {
        if (clock.elapsed() >= timeout.count())
            return false;
        QThread::msleep(pause);
        pause = std::min(pause * 2, 20ul);
    }
    return true;
}

void ChildProcess::terminate()
{
    if (m_ended)
        return;
    m_ended = true;
    ::kill(-m_pid, SIGTERM);
    // Closing the input as well: servers that ignore the signal still stop at end of input.
    closePipes();

    QElapsedTimer clock;
    clock.start();
    while (!reap(false) && clock.elapsed() < terminateGraceMs)
        QThread::msleep(5);
    // Helpers the child started share its group; they get the same grace.
    while (groupAlive(m_pid) && clock.elapsed() < terminateGraceMs)
        QThread::msleep(5);
    if (groupAlive(m_pid))
        ::kill(-m_pid, SIGKILL);
    // Forgotten before the last reap: once reaped, the id may be given to someone else's group.
    ChildGroups::remove(m_pid);
    reap(true);
}
