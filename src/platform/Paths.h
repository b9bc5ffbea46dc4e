#pragma once

#include <QString>

// Where Quorlane and the programs it manages keep their files. Everything derives from the
// environment at the moment of the call (HOME, XDG_CONFIG_HOME, CLAUDE_CONFIG_DIR,
// QUORLANE_MANAGED_CONFIG), so a test can point the whole application at a temporary home.
namespace Paths {

QString homeDirectory();

// The per-user folder in which applications keep their support files:
// ~/Library/Application Support on macOS, $XDG_CONFIG_HOME or ~/.config on Linux.
QString applicationSupportDirectory();

// The administrator's read-only server list; QUORLANE_MANAGED_CONFIG overrides it.
QString managedConfigPath();

// Claude Code's folder: CLAUDE_CONFIG_DIR when set (relative to the current folder, as Claude
// Code reads it), else ~/.claude. The second form answers for a given home.
QString claudeConfigDirectory();
QString claudeConfigDirectory(const QString &home);

// Claude Code's own file: .claude.json in CLAUDE_CONFIG_DIR when that is set, else in the home
// folder (beside ~/.claude, not inside it). Its lock folder sits beside it.
QString claudeJsonPath();

// Claude Code's settings, <Claude Code's folder>/settings.json.
QString claudeSettingsPath();

// Claude Desktop's file, <application support>/Claude/claude_desktop_config.json.
QString desktopConfigPath();

// Quorlane's own folder, <application support>/Quorlane.
QString quorlaneSupportDirectory();

// The stash of switched-off global and Claude Desktop servers.
QString disabledGlobalConfigPath();

// Claude Code's transcripts, <Claude Code's folder>/projects.
QString claudeProjectsDirectory();
QString claudeProjectsDirectory(const QString &home);

} // namespace Paths
