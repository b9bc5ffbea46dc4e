#include "store/QuorlaneFolder.h"

#include "platform/QuorlaneError.h"
#include "store/AtomicFile.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace QuorlaneFolder {

namespace {

QString systemReason()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

void ensurePrivate(const QString &folder)
{
    const QFileInfo info(folder);
    // The parents are shared folders (~/.config); only the last level is ours to close.
    if (!QDir().mkpath(info.absolutePath()))
        throw FileSystemError(QStringLiteral("Could not create the folder %1").arg(info.absolutePath()));
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        throw FileSystemError(
            QStringLiteral("Could not create the folder %1: %2").arg(folder, systemReason()));
    struct stat status = {};
    if (::stat(path.constData(), &status) != 0 || !S_ISDIR(status.st_mode))
        throw FileSystemError(QStringLiteral("%1 is not a folder").arg(folder));
    // Only a folder of our own is tightened; someone else's is left as it is.
    if (status.st_uid == ::geteuid() && (status.st_mode & 077) != 0)
        ::chmod(path.constData(), status.st_mode & 0700);
}

void writePrivately(const QString &path, const QByteArray &bytes)
{
    ensurePrivate(QFileInfo(path).absolutePath());
    AtomicFile::replace(path, bytes, AtomicFile::Access::private_);
}

} // namespace QuorlaneFolder
