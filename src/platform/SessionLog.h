#pragma once

#include <QString>

// The session log channel, subsystem "dev.quorlane", category "session": the unified log on
// macOS, a Qt logging category ("dev.quorlane.session") on Linux.
namespace SessionLog {

// "AppleScript failed: " + error, at error level.
void appleScriptFailed(const QString &error);

// "Relaunch skipped: " + application + " cannot be driven now; the session keeps running", at
// error level: the user refused the permission it needs or has not answered yet, or its
// server no longer answers.
void relaunchSkipped(const QString &application);

} // namespace SessionLog
