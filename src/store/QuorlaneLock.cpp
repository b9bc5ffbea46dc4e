#include "store/QuorlaneLock.h"

#include "platform/Paths.h"
#include "platform/QuorlaneError.h"
#include "store/QuorlaneFolder.h"

#include <QElapsedTimer>
#include <QFile>

#include <QCoro/QCoroTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

QuorlaneLock::QuorlaneLock() : QuorlaneLock(Paths::quorlaneSupportDirectory()) {}

QuorlaneLock::QuorlaneLock(QString folder) : QuorlaneLock(std::move(folder), QStringLiteral("switch.lock")) {}

QuorlaneLock::QuorlaneLock(QString folder, QString fileName)
    : m_folder(std::move(folder)), m_fileName(std::move(fileName))
{}

QuorlaneLock::~QuorlaneLock()
{
    release();
}

QString QuorlaneLock::lockPathIn(const QString &folder)
{
    return folder + QStringLiteral("/switch.lock");
}

bool QuorlaneLock::tryAcquire()
{
    if (m_fd >= 0)
        return true;
    QuorlaneFolder::ensurePrivate(m_folder);
    const QString path = m_folder + QLatin1Char('/') + m_fileName;
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        throw FileSystemError(QStringLiteral("Could not open the lock %1: %2")
                                  .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    int locked;
    do {
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked == 0) {
        m_fd = fd;
        return true;
    }
    const int error = errno;
    ::close(fd);
    if (error != EWOULDBLOCK)
        throw FileSystemError(
            QStringLiteral("Could not lock %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(error))));
    return false;
}

QCoro::Task<void> QuorlaneLock::acquire()
{
    QElapsedTimer waited;
    waited.start();
    while (!tryAcquire()) {
        if (waited.elapsed() >= giveUpAfter.count())
            throw FileSystemError(
                QStringLiteral("Another Quorlane is still switching a server (it holds %1). Nothing was "
                               "changed; try again.")
                    .arg(m_folder + QLatin1Char('/') + m_fileName));
        co_await QCoro::sleepFor(retryInterval);
    }
}

void QuorlaneLock::release()
{
    if (m_fd < 0)
        return;
    // Closing the descriptor drops the lock; the file stays, so there is never a moment in which
    // two processes lock two different files of the same name.
    ::close(m_fd);
    m_fd = -1;
}
