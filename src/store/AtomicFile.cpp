#include "store/AtomicFile.h"

#include "platform/FileExchange.h"
#include "platform/QuorlaneError.h"
#include "store/FileStamp.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace AtomicFile {
namespace {

std::function<void(const QString &)> &observer()
{
    static std::function<void(const QString &)> instance;
    return instance;
}

void notify(const QString &path)
{
    if (observer())
        observer()(path);
}

QString reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

[[noreturn]] void fail(const char *what, const QString &path, int error)
{
    throw FileSystemError(
        QStringLiteral("Could not %1 %2: %3").arg(QLatin1String(what), path, reason(error)));
}

// Past a file-size limit the system sends SIGXFSZ, whose default kills the process between two
// writes with nothing rolled back; ignored, the write fails with EFBIG like any other.
void ignoreFileSizeSignal()
{
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGXFSZ, SIG_IGN); });
}

// The file a write lands in: a symbolic link (a dotfile manager's, say) is kept and its target
// replaced.
QByteArray resolve(const QString &path)
{
    const QFileInfo info(path);
    if (info.isSymLink() && !info.canonicalFilePath().isEmpty())
        return QFile::encodeName(info.canonicalFilePath());
    return QFile::encodeName(path);
}

void writeAll(int fd, const char *at, std::size_t left)
{
    while (left > 0) {
        const ssize_t written = ::write(fd, at, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            throw errno;
        at += written;
        left -= std::size_t(written);
    }
}

// Down to the disk itself. On macOS fsync stops at the drive, which may keep the data in its cache
// and write it later and out of order; F_FULLFSYNC asks it to flush. Some file systems refuse
// that, and then fsync is what there is.
int syncToDisk(int fd)
{
#ifdef F_FULLFSYNC
    if (::fcntl(fd, F_FULLFSYNC) == 0)
        return 0;
#endif
    return ::fsync(fd);
}

// Makes the rename itself durable; a failure here changes nothing about the outcome.
void syncFolder(const QByteArray &file)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(QFile::decodeName(file)).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        syncToDisk(fd);
        ::close(fd);
    }
}

bool sameFile(const QByteArray &path, dev_t device, ino_t inode)
{
    struct stat info = {};
    return ::lstat(path.constData(), &info) == 0 && info.st_dev == device && info.st_ino == inode;
}

// After our exchange the other program's file sits at `temporary` and ours at `target`. Swap
// back; if what comes out is not the file we meant to take out, a still newer file of the other
// program had taken its place: swap again to put that one back, and so on.
void putBack(const QByteArray &temporary, const QByteArray &target, dev_t device, ino_t ours)
{
    ino_t expected = ours;
    for (int round = 0; round < 8; ++round) {
        struct stat placing = {};
        if (::lstat(temporary.constData(), &placing) != 0)
            return;
        if (FileExchange::exchange(temporary, target) != 0)
            break; // the target is gone: its remover had the last word
        if (sameFile(temporary, device, expected)) {
            ::unlink(temporary.constData());
            syncFolder(target);
            return;
        }
        expected = placing.st_ino;
    }
    ::unlink(temporary.constData());
}

// Opens a regular file for reading without waiting on whatever else may sit at the path (a FIFO
// would block the open for ever); the descriptor is owned by `file`.
bool openRegular(QFile &file, const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

} // namespace

Replacement::Replacement(const QString &path, Access access) : m_shownPath(path), m_target(resolve(path))
{
    ignoreFileSizeSignal();
    struct stat existing = {};
    const bool exists = ::stat(m_target.constData(), &existing) == 0;
    mode_t mode = exists ? (existing.st_mode & 07777) : 0600;
    if (access == Access::private_)
        mode &= 0600;

    const QFileInfo info(QFile::decodeName(m_target));
    m_temporary = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                                    QStringLiteral(".quorlane-XXXXXX"));
    m_fd = ::mkstemp(m_temporary.data());
    if (m_fd < 0) {
        m_temporary.clear();
        fail("write", m_shownPath, errno);
    }
    try {
        if (::fchmod(m_fd, mode) != 0)
            throw errno;
        // Run as root with the user's home (sudo -E), a new file would belong to root and the
        // user's own programs could no longer read it.
        if (exists && (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid()) &&
            ::fchown(m_fd, existing.st_uid, existing.st_gid) != 0 && errno != EPERM)
            throw errno;
    } catch (int error) {
        discard();
        fail("write", m_shownPath, error);
    }
}

Replacement::~Replacement()
{
    discard();
}

void Replacement::discard()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_temporary.isEmpty())
        ::unlink(m_temporary.constData());
    m_temporary.clear();
}

void Replacement::append(const char *data, std::size_t size)
{
    try {
        writeAll(m_fd, data, size);
    } catch (int error) {
        discard();
        fail("write", m_shownPath, error);
    }
    m_fingerprint.add(data, size);
}

void Replacement::finish()
{
    try {
        if (syncToDisk(m_fd) != 0)
            throw errno;
        struct stat written = {};
        if (::fstat(m_fd, &written) != 0)
            throw errno;
        m_device = written.st_dev;
        m_inode = written.st_ino;
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0)
            throw errno;
    } catch (int error) {
        discard();
        fail("write", m_shownPath, error);
    }
    m_digest = m_fingerprint.digest();
}

void Replacement::placed(std::int64_t knownAt)
{
    m_temporary.clear();
    syncFolder(m_target);
    // Our file, unless another program replaced it in the moment since.
    const auto stamp = FileStamp::of(QFile::decodeName(m_target));
    if (stamp && stamp->device == std::uint64_t(m_device) && stamp->inode == std::uint64_t(m_inode))
        m_placed = KnownStamp{*stamp, knownAt};
    notify(m_shownPath);
}

void Replacement::commit()
{
    const std::int64_t knownAt = KnownStamp::now();
    if (::rename(m_temporary.constData(), m_target.constData()) != 0) {
        const int error = errno;
        discard();
        fail("replace", m_shownPath, error);
    }
    placed(knownAt);
}

bool Replacement::commitIfUnchanged(const QByteArray &expected)
{
    return commitIfUnchanged(std::uint64_t(expected.size()),
                             [&expected](const QString &path) { return holds(path, expected); });
}

bool Replacement::commitIfUnchanged(const Fingerprint::Digest &expected)
{
    return commitIfUnchanged(expected.size,
                             [&expected](const QString &path) { return holds(path, expected); });
}

bool Replacement::commitIfUnchanged(std::uint64_t expectedSize,
                                    const std::function<bool(const QString &path)> &holdsExpected)
{
    struct stat before = {};
    // A cheap look right before the exchange, after the slow write and sync: most changes of
    // the other program are seen here, before any file of ours has been in place.
    if (::stat(m_target.constData(), &before) != 0 || std::uint64_t(before.st_size) != expectedSize) {
        discard();
        return false;
    }
    const std::int64_t knownAt = KnownStamp::now();
    const int error = FileExchange::exchange(m_temporary, m_target);
    if (error == ENOENT) {
        discard();
        return false;
    }
    if (error == ENOSYS || error == EINVAL || error == ENOTSUP || error == EOPNOTSUPP) {
        // A file system that cannot exchange: look once more right before the rename.
        if (!holdsExpected(QFile::decodeName(m_target))) {
            discard();
            return false;
        }
        commit();
        return true;
    }
    if (error != 0) {
        discard();
        fail("replace", m_shownPath, error);
    }
    // Another program that replaced the file by rename left a different file object: put its
    // file back at once, before it could read ours. Only the same file object needs its bytes
    // compared (a writer that writes in place, or a change before our first look).
    const bool replacedMeanwhile = !sameFile(m_temporary, before.st_dev, before.st_ino);
    if (!replacedMeanwhile && holdsExpected(QFile::decodeName(m_temporary))) {
        ::unlink(m_temporary.constData());
        placed(knownAt);
        return true;
    }
    putBack(m_temporary, m_target, m_device, m_inode);
    m_temporary.clear();
    return false;
}

void replace(const QString &path, const QByteArray &bytes, Access access)
{
    Replacement replacement(path, access);
    replacement.append(bytes.constData(), std::size_t(bytes.size()));
    replacement.finish();
    replacement.commit();
}

bool holds(const QString &path, const Fingerprint::Digest &expected)
{
    QFile file;
    if (!openRegular(file, path) || std::uint64_t(file.size()) != expected.size)
        return false;
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    Fingerprint fingerprint;
    for (;;) {
        const qint64 got = file.read(chunk.data(), chunk.size());
        if (got < 0)
            return false;
        if (got == 0)
            break;
        fingerprint.add(chunk.constData(), std::size_t(got));
    }
    return fingerprint.digest() == expected;
}

bool holds(const QString &path, const QByteArray &bytes)
{
    QFile file;
    if (!openRegular(file, path) || file.size() != bytes.size())
        return false;
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (qsizetype at = 0; at < bytes.size();) {
        const qint64 got = file.read(chunk.data(), std::min<qint64>(chunk.size(), bytes.size() - at));
        if (got <= 0 || std::memcmp(chunk.constData(), bytes.constData() + at, std::size_t(got)) != 0)
            return false;
        at += got;
    }
    return file.read(chunk.data(), 1) == 0;
}

bool replaceIfUnchanged(const QString &path, const QByteArray &bytes, const Fingerprint::Digest &expected)
{
    Replacement replacement(path, Access::keep);
    replacement.append(bytes.constData(), std::size_t(bytes.size()));
    replacement.finish();
    return replacement.commitIfUnchanged(expected);
}

bool replaceIfUnchanged(const QString &path, const QByteArray &bytes, const QByteArray &expected)
{
    Replacement replacement(path, Access::keep);
    replacement.append(bytes.constData(), std::size_t(bytes.size()));
    replacement.finish();
    return replacement.commitIfUnchanged(expected);
}

void setReplaceObserver(std::function<void(const QString &path)> callback)
{
    observer() = std::move(callback);
}

} // namespace AtomicFile
