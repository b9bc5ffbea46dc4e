#include "platform/PlatformLoginItem.h"

#include "platform/linux/AutostartEntry.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace PlatformLoginItem {

Status status()
{
    QFile file(AutostartEntry::filePath());
    if (!file.open(QIODevice::ReadOnly))
        return Status::notRegistered;
    return AutostartEntry::isEnabled(file.readAll()) ? Status::enabled : Status::notRegistered;
}

QString registerMainApplication()
{
    const QString program = AutostartEntry::programPath();
    if (program.isEmpty())
        return QStringLiteral("the path of the running program is unknown");
    if (!QDir().mkpath(AutostartEntry::directory()))
        return QStringLiteral("%1 could not be created").arg(AutostartEntry::directory());
    // Replaced whole, so a session that logs in meanwhile never reads half an entry.
    QSaveFile file(AutostartEntry::filePath());
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    const QByteArray bytes = AutostartEntry::text(program);
    if (file.write(bytes) != bytes.size()) {
        const QString error = file.errorString();
        file.cancelWriting();
        return error;
    }
    return file.commit() ? QString() : file.errorString();
}

QString unregisterMainApplication()
{
    // No entry is the state asked for, whoever removed it.
    QFile file(AutostartEntry::filePath());
    if (!file.exists() || file.remove())
        return {};
    return file.errorString();
}

} // namespace PlatformLoginItem
