#include "platform/PlatformLoginItem.h"

#include "AutostartEntry.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace PlatformLoginItem {

bool isRegisteredAndEnabled()
{
    QFile file(AutostartEntry::filePath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return AutostartEntry::isEnabled(file.readAll());
}

bool registerMainApplication()
{
    const QString program = AutostartEntry::programPath();
    if (program.isEmpty() || !QDir().mkpath(AutostartEntry::directory()))
        return false;
    // Replaced whole, so a session that logs in meanwhile never reads half an entry.
    QSaveFile file(AutostartEntry::filePath());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = AutostartEntry::text(program);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool unregisterMainApplication()
{
    // No entry is the state asked for, whoever removed it.
    const QString path = AutostartEntry::filePath();
    return !QFile::exists(path) || QFile::remove(path);
}

} // namespace PlatformLoginItem
