#include "platform/PlatformPaths.h"

namespace PlatformPaths {

QString applicationSupportDirectory(const QString &home)
{
    return home + QStringLiteral("/Library/Application Support");
}

QString defaultManagedConfigPath()
{
    return QStringLiteral("/Library/Application Support/ClaudeCode/managed-mcp.json");
}

} // namespace PlatformPaths
