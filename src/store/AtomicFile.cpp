#include "AtomicFile.h"

#include "StoreError.h"
#include "platform/FileExchange.h"

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

struct Temporary
{
    QByteArray path;
    dev_t device = 0;
    ino_t inode = 0;
};

void writeAll(int fd, const QByteArray &bytes)
{
    const char *at = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, at, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            throw errno;
        at += written;
        left -= written;
    }
}

// A synced file beside `target` holding `bytes`, with the mode, owner and group the target is
// to have. Throws FileSystemError naming `shownPath`; nothing is left behind then.
Temporary writeTemporary(const QByteArray &target, const QString &shownPath, const QByteArray &bytes,
                         Access access)
{
    ignoreFileSizeSignal();
    struct stat existing = {};
    const bool exists = ::stat(target.constData(), &existing) == 0;
    mode_t mode = exists ? (existing.st_mode & 07777) : 0600;
    if (access == Access::private_)
        mode &= 0600;

    const QFileInfo info(QFile::decodeName(target));
    QByteArray name = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                                        QStringLiteral(".quorlane-XXXXXX"));
    const int fd = ::mkstemp(name.data());
    if (fd < 0)
        fail("write", shownPath, errno);
    try {
        if (::fchmod(fd, mode) != 0)
            throw errno;
        // Run as root with the user's home (sudo -E), a new file would belong to root and the
        // user's own programs could no longer read it.
        if (exists && (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid()) &&
            ::fchown(fd, existing.st_uid, existing.st_gid) != 0 && errno != EPERM)
            throw errno;
        writeAll(fd, bytes);
        if (::fsync(fd) != 0)
            throw errno;
        struct stat written = {};
        if (::fstat(fd, &written) != 0)
            throw errno;
        if (::close(fd) != 0) {
            const int error = errno;
            ::unlink(name.constData());
            fail("write", shownPath, error);
        }
        return Temporary{name, written.st_dev, written.st_ino};
    } catch (int error) {
        ::close(fd);
        ::unlink(name.constData());
        fail("write", shownPath, error);
    }
}

// Makes the rename itself durable; a failure here changes nothing about the outcome.
void syncFolder(const QByteArray &file)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(QFile::decodeName(file)).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
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

} // namespace

void replace(const QString &path, const QByteArray &bytes, Access access)
{
    const QByteArray target = resolve(path);
    const Temporary temporary = writeTemporary(target, path, bytes, access);
    if (::rename(temporary.path.constData(), target.constData()) != 0) {
        const int error = errno;
        ::unlink(temporary.path.constData());
        fail("replace", path, error);
    }
    syncFolder(target);
    notify(path);
}

bool holds(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() != bytes.size())
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

bool replaceIfUnchanged(const QString &path, const QByteArray &bytes, const QByteArray &expected)
{
    const QByteArray target = resolve(path);
    struct stat before = {};
    const Temporary temporary = writeTemporary(target, path, bytes, Access::keep);
    // A cheap look right before the exchange, after the slow write and sync: most changes of
    // the other program are seen here, before any file of ours has been in place.
    if (::stat(target.constData(), &before) != 0 || before.st_size != expected.size()) {
        ::unlink(temporary.path.constData());
        return false;
    }
    const int error = FileExchange::exchange(temporary.path, target);
    if (error == ENOENT) {
        ::unlink(temporary.path.constData());
        return false;
    }
    if (error == ENOSYS || error == EINVAL || error == ENOTSUP || error == EOPNOTSUPP) {
        // A file system that cannot exchange: look once more right before the rename.
        if (!holds(QFile::decodeName(target), expected)) {
            ::unlink(temporary.path.constData());
            return false;
        }
        if (::rename(temporary.path.constData(), target.constData()) != 0) {
            const int renameError = errno;
            ::unlink(temporary.path.constData());
            fail("replace", path, renameError);
        }
        syncFolder(target);
        notify(path);
        return true;
    }
    if (error != 0) {
        ::unlink(temporary.path.constData());
        fail("replace", path, error);
    }
    // Another program that replaced the file by rename left a different file object: put its
    // file back at once, before it could read ours. Only the same file object needs its bytes
    // compared (a writer that writes in place, or a change before our first look).
    const bool replacedMeanwhile = !sameFile(temporary.path, before.st_dev, before.st_ino);
    if (!replacedMeanwhile && holds(QFile::decodeName(temporary.path), expected)) {
        ::unlink(temporary.path.constData());
        syncFolder(target);
        notify(path);
        return true;
    }
    putBack(temporary.path, target, temporary.device, temporary.inode);
    return false;
}

void createPrivateFolder(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList missing;
    QString at = absolute;
    while (!QFileInfo::exists(at) && !at.isEmpty() && at != QStringLiteral("/")) {
        missing.prepend(at);
        at = QFileInfo(at).absolutePath();
    }
    for (const QString &folder : std::as_const(missing)) {
        if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST)
            fail("create the folder", folder, errno);
    }
    const QByteArray native = QFile::encodeName(absolute);
    struct stat info = {};
    if (::stat(native.constData(), &info) != 0)
        fail("create the folder", absolute, errno);
    if (!S_ISDIR(info.st_mode))
        throw FileSystemError(
            QStringLiteral("Could not create the folder %1: a file is in the way").arg(absolute));
    if ((info.st_mode & 077) != 0 && ::chmod(native.constData(), info.st_mode & 0700) != 0)
        fail("protect the folder", absolute, errno);
}

void setReplaceObserver(std::function<void(const QString &path)> callback)
{
    observer() = std::move(callback);
}

} // namespace AtomicFile
