#pragma once

#include <QString>

#include <QCoro/QCoroTask>

#include <chrono>

// The lock Claude Code itself takes around every read-modify-write of ~/.claude.json: a folder
// "<file>.lock" created with mkdir. Taking the same lock means neither program writes over a
// change the other made between its read and its write. A lock folder not touched for 10 s
// belongs to a process that died and is removed, as is one dated in the future. Anything else
// at that path is reported at once, naming it. Release happens in the destructor too, so every
// path out of a change gives the lock back.
class ClaudeJsonLock
{
public:
    static constexpr std::chrono::milliseconds retryInterval{25};
    static constexpr std::chrono::milliseconds staleAfter{10000};
    static constexpr std::chrono::milliseconds giveUpAfter{12000};
    // A lock folder dated further ahead than this was left by a wrong clock and is stale.
    static constexpr std::chrono::milliseconds futureSlack{2000};

    explicit ClaudeJsonLock(const QString &filePath);
    ~ClaudeJsonLock();
    ClaudeJsonLock(const ClaudeJsonLock &) = delete;
    ClaudeJsonLock &operator=(const ClaudeJsonLock &) = delete;

    [[nodiscard]] static QString lockPathFor(const QString &filePath);

    // Waits without blocking the thread; throws FileSystemError when the lock cannot be had
    // within giveUpAfter.
    QCoro::Task<void> acquire();
    // Keeps the lock fresh during a long change, so nobody takes it for stale.
    void refresh() const;
    void release();

    [[nodiscard]] bool isHeld() const { return m_held; }

private:
    bool tryAcquire();
    // Throws FileSystemError when something other than a lock folder is at the lock's path.
    void checkIsLockFolder() const;
    [[noreturn]] void giveUp() const;

    QString m_lockPath;
    bool m_held = false;
};
