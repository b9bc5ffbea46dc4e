#pragma once

#include <QByteArray>
#include <QStringList>

#include <chrono>
#include <memory>
#include <optional>

#include <sys/types.h>

// A program started by file path (never through a shell) with a pipe on its standard output and,
// when asked, one on its standard input; standard error goes to /dev/null (or into the output
// pipe), so a server that writes much there can never fill a pipe and stall. The child leads a
// process group of its own, and neither it nor anything it started outlives the object or the
// application: destruction terminates the whole group and reaps the child, and ChildGroups ends
// the groups of live children when the application ends. All calls block the calling thread; the
// object belongs to one thread, which must outlive the child (on Linux the parent-death signal
// follows the starting thread).
class ChildProcess
{
public:
    enum class ReadStatus
    {
        data,
        endOfStream,
        timedOut
    };

    // nullptr when the program cannot be started. `environment` holds "NAME=value" texts.
    [[nodiscard]] static std::unique_ptr<ChildProcess> start(const QString &program,
                                                             const QStringList &arguments,
                                                             const QStringList &environment, bool withInput,
                                                             bool errorsToOutput = false);
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // Writes all bytes to the child's standard input. False when the child has closed it (no
    // SIGPIPE reaches the application) or there is no input pipe.
    bool write(const QByteArray &bytes);

    // Blocks until standard output has bytes (appended to `buffer`), reaches its end, or
    // `timeout` passes.
    ReadStatus read(QByteArray &buffer, std::chrono::milliseconds timeout);

    // Standard output up to its end.
    QByteArray readToEnd();

    // Ends the child's standard input, as a program reading a script to its end needs.
    void closeInput();

    // Waits until the child has exited, at most `timeout`; true when it has (and is reaped).
    bool waitForExit(std::chrono::milliseconds timeout);

    // The exit code of a child that exited by itself; nullopt while it runs or when a signal
    // ended it.
    [[nodiscard]] std::optional<int> exitCode() const { return m_exitCode; }

    // Sends the terminate signal to the child's process group, closes the pipes and reaps the
    // child; whatever is still alive after a short grace period is killed.
    void terminate();

    [[nodiscard]] pid_t pid() const { return m_pid; }

private:
    ChildProcess(pid_t pid, int input, int output) : m_pid(pid), m_input(input), m_output(output) {}
    void closePipes();
    // Reaps the child if it has exited (or waits for it when `block`); true once it is reaped.
    bool reap(bool block);

    pid_t m_pid = -1;
    int m_input = -1;
    int m_output = -1;
    bool m_reaped = false;
    bool m_ended = false;
    std::optional<int> m_exitCode;
};
