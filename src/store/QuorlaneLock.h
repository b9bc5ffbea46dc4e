#pragma once

#include <QString>

#include <QCoro/QCoroTask>

#include <chrono>

// Serialises every read-modify-write of Quorlane's own files (the stash, the project records)
// between Quorlane processes: the app and a command, or two commands. An exclusive flock() on a
// lock file in Quorlane's folder; the kernel drops it when the descriptor closes, so a killed
// process never leaves a stale lock behind. The descriptor is not inherited by children (a probe
// server must not keep the lock alive). Taken before Claude Code's lock, never after it.
//
// flock() locks belong to the open file, so two QuorlaneLock objects exclude each other also
// within one process. Released by the destructor.
class QuorlaneLock
{
public:
    static constexpr std::chrono::milliseconds retryInterval{5};
    static constexpr std::chrono::milliseconds giveUpAfter{30000};

    // The lock of Quorlane's folder of the current user.
    QuorlaneLock();
    explicit QuorlaneLock(QString folder);
    // Another lock of the same kind in `folder` (one per kind of work, e.g. applying a profile,
    // which switches many servers and takes the switch lock for each).
    QuorlaneLock(QString folder, QString fileName);
    ~QuorlaneLock();
    QuorlaneLock(const QuorlaneLock &) = delete;
    QuorlaneLock &operator=(const QuorlaneLock &) = delete;

    [[nodiscard]] static QString lockPathIn(const QString &folder);

    // Waits without blocking the thread (short sleeps between attempts); throws FileSystemError
    // when the lock file cannot be opened or another process keeps the lock past giveUpAfter.
    QCoro::Task<void> acquire();
    // One attempt; false when another holder has it. Throws FileSystemError like acquire().
    bool tryAcquire();
    void release();

    [[nodiscard]] bool isHeld() const { return m_fd >= 0; }

private:
    QString m_folder;
    QString m_fileName;
    int m_fd = -1;
};
