#include "platform/RegularFile.h"

#include "platform/FileDescriptor.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace RegularFile {
namespace {

QString failure(const QString &path, const QString &why)
{
    return QStringLiteral("Could not read %1: %2").arg(path, why);
}

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString megabytes(std::int64_t bytes)
{
    return QString::number(double(bytes) / double(1 << 20), 'f', bytes % (1 << 20) == 0 ? 0 : 1);
}

QString tooLarge(const QString &path, std::int64_t size, std::int64_t limit)
{
    return failure(path, QStringLiteral("it is %1 MB, more than the %2 MB Quorlane reads from such a file")
                             .arg(megabytes(size), megabytes(limit)));
}

// Opens without blocking: a FIFO would otherwise wait for a writer for ever. Nothing at the path
// gives -1 with ENOENT left in `error`.
int openForReading(const QString &path, int &error)
{
    const QByteArray native = QFile::encodeName(path);
    int fd;
    do {
        fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    error = fd < 0 ? errno : 0;
    return fd;
}

// True when nothing is at the path at all (a dangling link is something).
bool isAbsent(const QString &path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

// The error for what the descriptor refers to, or empty for a regular file within the limit.
QString check(const QString &path, int fd, std::int64_t limit, struct stat &info)
{
    if (::fstat(fd, &info) != 0)
        return failure(path, systemReason(errno));
    if (!S_ISREG(info.st_mode))
        return failure(path, QStringLiteral("it is ") + describeType(info.st_mode));
    if (info.st_size > limit)
        return tooLarge(path, info.st_size, limit);
    return {};
}

} // namespace

QString describeType(unsigned mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a folder, not a regular file");
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO, not a regular file");
    if (S_ISCHR(mode))
        return QStringLiteral("a character device, not a regular file");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device, not a regular file");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket, not a regular file");
    return QStringLiteral("not a regular file");
}

Result read(const QString &path, std::int64_t limit, const Reserve &reserve)
{
    int openError = 0;
    const FileDescriptor fd(openForReading(path, openError));
    if (fd.get() < 0) {
        if ((openError == ENOENT || openError == ENOTDIR) && isAbsent(path))
            return {};
        if (openError == ENXIO) // a socket
            return {std::nullopt, failure(path, QStringLiteral("it is ") + describeType(S_IFSOCK))};
        return {std::nullopt, failure(path, systemReason(openError))};
    }
    struct stat info = {};
    if (QString error = check(path, fd.get(), limit, info); !error.isEmpty())
        return {std::nullopt, error};
    // A regular file never blocks; the flag only mattered for opening.
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);

    // Sized by the file as it was checked, within the limit, plus one byte to see the end without
    // growing; a file that grows meanwhile is read on up to the limit and no further.
    const qsizetype initial = qsizetype(std::max<std::int64_t>(info.st_size, 0)) + 1;
    QByteArray bytes = reserve ? reserve(initial) : QByteArray();
    bytes.resize(initial);
    qsizetype filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (bytes.size() > limit)
                return {std::nullopt, tooLarge(path, bytes.size(), limit)};
            const qsizetype more = std::clamp<qsizetype>(bytes.size() / 2, 4096, qsizetype(64) << 20);
            bytes.resize(std::min<qsizetype>(bytes.size() + more, qsizetype(limit) + 1));
        }
        const ssize_t got = ::read(fd.get(), bytes.data() + filled, std::size_t(bytes.size() - filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return {std::nullopt, failure(path, systemReason(errno))};
        if (got == 0)
            break;
        filled += got;
    }
    if (filled > limit)
        return {std::nullopt, tooLarge(path, filled, limit)};
    bytes.truncate(filled);
    return {std::move(bytes), {}};
}

QString problem(const QString &path, std::int64_t limit)
{
    int openError = 0;
    const FileDescriptor fd(openForReading(path, openError));
    if (fd.get() < 0) {
        if ((openError == ENOENT || openError == ENOTDIR) && isAbsent(path))
            return {};
        if (openError == ENXIO)
            return failure(path, QStringLiteral("it is ") + describeType(S_IFSOCK));
        return failure(path, systemReason(openError));
    }
    struct stat info = {};
    return check(path, fd.get(), limit, info);
}

} // namespace RegularFile
