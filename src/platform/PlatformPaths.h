#pragma once

#include <QString>

// The two locations that differ between operating systems; one implementation per OS.
namespace PlatformPaths {

QString applicationSupportDirectory(const QString &home);
QString defaultManagedConfigPath();

} // namespace PlatformPaths
