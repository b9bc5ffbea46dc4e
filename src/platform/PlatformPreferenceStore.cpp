#include "PlatformPreferenceStore.h"

#include "Paths.h"

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

} // namespace

std::function<std::unique_ptr<QSettings>()> locate()
{
    return [path = Paths::quorlaneSupportDirectory() + QStringLiteral("/preferences.json")] {
        return std::make_unique<QSettings>(path, jsonFormat());
    };
}

} // namespace PlatformPreferenceStore
