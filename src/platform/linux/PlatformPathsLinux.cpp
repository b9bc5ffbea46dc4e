#include "platform/PlatformPaths.h"

#include <QDir>

namespace PlatformPaths {

// The XDG base directory rules: XDG_CONFIG_HOME when set to an absolute path, else ~/.config.
// The Linux builds of Claude Desktop keep Claude/claude_desktop_config.json there too.
QString applicationSupportDirectory(const QString &home)
{
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return QDir::cleanPath(xdg);
    return home + QStringLiteral("/.config");
}

QString defaultManagedConfigPath()
{
    return QStringLiteral("/etc/claude-code/managed-mcp.json");
}

} // namespace PlatformPaths
