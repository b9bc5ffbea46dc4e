#include "store/ClaudeJsonLock.h"

#include "platform/QuorlaneError.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <QCoro/QCoroTimer>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

ClaudeJsonLock::ClaudeJsonLock(const QString &filePath) : m_lockPath(lockPathFor(filePath)) {}

ClaudeJsonLock::~ClaudeJsonLock()
{
    release();
}

QString ClaudeJsonLock::lockPathFor(const QString &filePath)
{
    return filePath + QStringLiteral(".lock");
}

bool ClaudeJsonLock::tryAcquire()
{
    const QByteArray path = QFile::encodeName(m_lockPath);
    if (::mkdir(path.constData(), 0755) == 0) {
        m_held = true;
        return true;
    }
    // No folder for the lock means no file to guard either; the caller finds that out itself.
    if (errno == ENOENT)
        return true;
    if (errno != EEXIST)
        throw FileSystemError(
            QStringLiteral("Could not lock %1: %2").arg(m_lockPath, QString::fromLocal8Bit(strerror(errno))));
    checkIsLockFolder();
    // A holder refreshes its folder while it works; one untouched this long was left by a
    // process that died, and one dated in the future by a clock that was wrong (it would never
    // age). Removing it and trying again is what Claude Code does too.
    const QDateTime modified = QFileInfo(m_lockPath).lastModified();
    const qint64 age = modified.isValid() ? modified.msecsTo(QDateTime::currentDateTime()) : 0;
    if (age > qint64(staleAfter.count()) || age < -qint64(futureSlack.count())) {
        ::rmdir(path.constData());
        if (::mkdir(path.constData(), 0755) == 0) {
            m_held = true;
            return true;
        }
    }
    return false;
}

void ClaudeJsonLock::checkIsLockFolder() const
{
    // Claude Code only ever makes an empty folder here. Anything else never goes away by
    // itself, so waiting for it is pointless: say what it is, so the user can remove it.
    const QFileInfo info(m_lockPath);
    QString what;
    if (info.isSymLink())
        what = info.exists() ? QStringLiteral("a symbolic link to %1").arg(info.symLinkTarget())
                             : QStringLiteral("a symbolic link to the missing %1").arg(info.symLinkTarget());
    else if (!info.isDir())
        what = QStringLiteral("a file, not a folder");
    else if (!QDir(m_lockPath).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        what = QStringLiteral("a folder that is not empty");
    if (!what.isEmpty())
        throw FileSystemError(
            QStringLiteral("%1 blocks Claude Code's lock on %2: it is %3, where only an empty "
                           "lock folder belongs. Nothing was changed; remove it and try again.")
                .arg(m_lockPath, m_lockPath.chopped(5), what));
}

void ClaudeJsonLock::giveUp() const
{
    throw FileSystemError(
        QStringLiteral("Another program (probably Claude Code) is changing %1: its lock %2 was not "
                       "released within %3 seconds. Nothing was changed; try again.")
            .arg(m_lockPath.chopped(5), m_lockPath)
            .arg(giveUpAfter.count() / 1000));
}

QCoro::Task<void> ClaudeJsonLock::acquire()
{
    QElapsedTimer waited;
    waited.start();
    while (!tryAcquire()) {
        if (waited.elapsed() >= giveUpAfter.count())
            giveUp();
        co_await QCoro::sleepFor(retryInterval);
    }
}

void ClaudeJsonLock::refresh() const
{
    if (m_held)
        ::utime(QFile::encodeName(m_lockPath).constData(), nullptr);
}

void ClaudeJsonLock::release()
{
    if (!m_held)
        return;
    m_held = false;
    ::rmdir(QFile::encodeName(m_lockPath).constData());
}
