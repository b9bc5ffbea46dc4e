#include "platform/ChildProcess.h"

#include "platform/ChildGroups.h"
#include "platform/ChildSpawn.h"

#include <QElapsedTimer>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace {

// How long a terminated child may take to exit before it is killed.
constexpr int terminateGraceMs = 1500;

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

} // namespace

std::unique_ptr<ChildProcess> ChildProcess::start(const QString &program, const QStringList &arguments,
                                                  const QStringList &environment, bool withInput,
                                                  bool errorsToOutput)
{
    // Before the child exists, so that no signal can come between its start and its record.
    ChildGroups::installHandlers();
    int input[2] = {-1, -1};
    int output[2] = {-1, -1};
    if ((withInput && !ChildSpawn::makePipe(input)) || !ChildSpawn::makePipe(output)) {
        closeFd(input[0]);
        closeFd(input[1]);
        return nullptr;
    }

    std::vector<std::string> argvStrings = toStrings(QStringList{program} + arguments);
    std::vector<std::string> envStrings = toStrings(environment);
    std::vector<char *> argv = toPointers(argvStrings);
    std::vector<char *> envp = toPointers(envStrings);
    const pid_t pid = ChildSpawn::spawn(argvStrings.front().c_str(), argv.data(), envp.data(),
                                        {input[0], output[1], errorsToOutput});

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
