#pragma once

#include <QString>

// The session log channel, subsystem "dev.quorlane", category "session": the unified log on
// macOS, a Qt logging category ("dev.quorlane.session") on Linux.
namespace SessionLog {

// "AppleScript failed: " + error, at error level.
void appleScriptFailed(const QString &error);

// "Relaunch skipped: Quorlane may not drive " + application + "; the session keeps running", at
// error level: the user refused the permission it needs, or has not answered yet.
void relaunchRefused(const QString &application);

} // namespace SessionLog
