#include "Paths.h"

#include "PlatformPaths.h"

#include <QDir>

namespace Paths {

QString homeDirectory()
{
    const QString home = qEnvironmentVariable("HOME");
    return home.isEmpty() ? QDir::homePath() : QDir::cleanPath(home);
}

QString applicationSupportDirectory()
{
    return PlatformPaths::applicationSupportDirectory(homeDirectory());
}

QString managedConfigPath()
{
    const QString overridden = qEnvironmentVariable("QUORLANE_MANAGED_CONFIG");
    return overridden.isEmpty() ? PlatformPaths::defaultManagedConfigPath() : overridden;
}

QString claudeJsonPath()
{
    return homeDirectory() + QStringLiteral("/.claude.json");
}

QString desktopConfigPath()
{
    return applicationSupportDirectory() + QStringLiteral("/Claude/claude_desktop_config.json");
}

QString quorlaneSupportDirectory()
{
    return applicationSupportDirectory() + QStringLiteral("/Quorlane");
}

QString disabledGlobalConfigPath()
{
    return quorlaneSupportDirectory() + QStringLiteral("/disabled-global-mcps.json");
}

QString claudeProjectsDirectory()
{
    return homeDirectory() + QStringLiteral("/.claude/projects");
}

} // namespace Paths
