#include "store/QuorlaneFolder.h"

#include "platform/QuorlaneError.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace QuorlaneFolder {

namespace {

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

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
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw FileSystemError(QStringLiteral("Could not write %1: %2").arg(path, file.errorString()));
    // The temporary file took the old file's mode; anything beyond the owner's read and write
    // is dropped before it can hold a byte.
    const QFileDevice::Permissions existing =
        QFileInfo::exists(path) ? QFileInfo(path).permissions() & kOwnerOnly : kOwnerOnly;
    if (!file.setPermissions(existing ? existing : kOwnerOnly)) {
        file.cancelWriting();
        throw FileSystemError(QStringLiteral("Could not write %1: its mode cannot be set").arg(path));
    }
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw FileSystemError(QStringLiteral("Could not write %1: %2").arg(path, reason));
    }
    if (!file.commit())
        throw FileSystemError(QStringLiteral("Could not replace %1: %2").arg(path, file.errorString()));
}

} // namespace QuorlaneFolder
