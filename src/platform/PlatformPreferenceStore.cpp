#include "platform/PlatformPreferenceStore.h"

#include "platform/Paths.h"
#include "platform/RegularFile.h"

#include <QIODevice>
#include <QJsonDocument>
#include <QJsonObject>

namespace PlatformPreferenceStore {
namespace {

bool readJson(QIODevice &device, QSettings::SettingsMap &map)
{
    const QByteArray bytes = device.readAll();
    if (bytes.trimmed().isEmpty())
        return true;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    map = document.object().toVariantMap();
    return true;
}

bool writeJson(QIODevice &device, const QSettings::SettingsMap &map)
{
    const QByteArray bytes = QJsonDocument(QJsonObject::fromVariantMap(map)).toJson(QJsonDocument::Indented);
    return device.write(bytes) == bytes.size();
}

QSettings::Format jsonFormat()
{
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("json"), readJson, writeJson, Qt::CaseSensitive);
    return format;
}

QString filePath()
{
    return Paths::quorlaneSupportDirectory() + QStringLiteral("/preferences.json");
}

} // namespace

std::function<std::unique_ptr<QSettings>()> locate()
{
    return [path = filePath()] {
        // QSettings opens its file with a blocking open and reads all of it: a FIFO or a link to a
        // device there would hang or flood every reader. Such a store is read as empty and cannot
        // be written (a path below a file is neither readable nor creatable); problem() says why.
        if (!RegularFile::problem(path, RegularFile::kSmallLimit).isEmpty())
            return std::make_unique<QSettings>(path + QStringLiteral("/unreadable"), jsonFormat());
        return std::make_unique<QSettings>(path, jsonFormat());
    };
}

QString problem()
{
    return RegularFile::problem(filePath(), RegularFile::kSmallLimit);
}

} // namespace PlatformPreferenceStore
