#include "ChildProcess.h"

#include <QElapsedTimer>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace {

// How long a terminated child may take to exit before it is killed.
constexpr int terminateGraceMs = 1500;

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

bool childExited(pid_t pid, bool block)
{
    for (;;) {
        const pid_t result = ::waitpid(pid, nullptr, block ? 0 : WNOHANG);
        if (result == pid)
            return true;
        if (result == -1 && errno == EINTR)
            continue;
        // -1 with ECHILD: someone else reaped it; nothing left to wait for.
        return result == -1;
    }
}

bool groupAlive(pid_t group)
{
    return ::kill(-group, 0) == 0;
}

} // namespace

std::unique_ptr<ChildProcess> ChildProcess::start(const QString &program, const QStringList &arguments,
                                                  const QStringList &environment, bool withInput)
{
    int input[2] = {-1, -1};
    int output[2] = {-1, -1};
    if ((withInput && !makePipe(input)) || !makePipe(output)) {
        closeFd(input[0]);
        closeFd(input[1]);
        return nullptr;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (withInput)
        posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t noSignals;
    sigemptyset(&noSignals);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int sig : {SIGPIPE, SIGHUP, SIGINT, SIGQUIT, SIGTERM})
        sigaddset(&defaults, sig);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setsigmask(&attributes, &noSignals);
    posix_spawnattr_setsigdefault(&attributes, &defaults);

    std::vector<std::string> argvStrings = toStrings(QStringList{program} + arguments);
    std::vector<std::string> envStrings = toStrings(environment);
    std::vector<char *> argv = toPointers(argvStrings);
    std::vector<char *> envp = toPointers(envStrings);

    pid_t pid = -1;
    const int error =
        ::posix_spawn(&pid, argvStrings.front().c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);

    closeFd(input[0]);
    closeFd(output[1]);
    if (error != 0) {
        closeFd(input[1]);
        closeFd(output[0]);
        return nullptr;
    }
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

void ChildProcess::closePipes()
{
    closeFd(m_input);
    closeFd(m_output);
}

void ChildProcess::terminate()
{
    if (m_reaped)
        return;
    ::kill(-m_pid, SIGTERM);
    // Closing the input as well: servers that ignore the signal still stop at end of input.
    closePipes();

    QElapsedTimer clock;
    clock.start();
    bool exited = childExited(m_pid, false);
    while (!exited && clock.elapsed() < terminateGraceMs) {
        QThread::msleep(5);
        exited = childExited(m_pid, false);
    }
    // Helpers the child started share its group; they get the same grace.
    while (groupAlive(m_pid) && clock.elapsed() < terminateGraceMs)
        QThread::msleep(5);
    if (groupAlive(m_pid))
        ::kill(-m_pid, SIGKILL);
    if (!exited)
        childExited(m_pid, true);
    m_reaped = true;
}
