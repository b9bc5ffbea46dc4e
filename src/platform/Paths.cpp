#include "platform/Paths.h"

#include "platform/PlatformPaths.h"

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

namespace {

// Claude Code takes an empty value for unset and a relative one against the current folder.
QString movedClaudeDirectory()
{
    const QString moved = qEnvironmentVariable("CLAUDE_CONFIG_DIR");
    return moved.isEmpty() ? QString() : QDir::cleanPath(QDir::current().absoluteFilePath(moved));
}

} // namespace

QString claudeConfigDirectory(const QString &home)
{
    const QString moved = movedClaudeDirectory();
    return moved.isEmpty() ? home + QStringLiteral("/.claude") : moved;
}

QString claudeConfigDirectory()
{
    return claudeConfigDirectory(homeDirectory());
}

QString claudeJsonPath()
{
    const QString moved = movedClaudeDirectory();
    return (moved.isEmpty() ? homeDirectory() : moved) + QStringLiteral("/.claude.json");
}

QString claudeSettingsPath()
{
    return claudeConfigDirectory() + QStringLiteral("/settings.json");
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

QString claudeProjectsDirectory(const QString &home)
{
    return claudeConfigDirectory(home) + QStringLiteral("/projects");
}

QString claudeProjectsDirectory()
{
    return claudeProjectsDirectory(homeDirectory());
}

} // namespace Paths
