#pragma once

#include <QString>

// The session log channel, subsystem "dev.quorlane", category "session": the unified log on
// macOS, a Qt logging category ("dev.quorlane.session") on Linux. It carries one kind of line.
namespace SessionLog {

// "AppleScript failed: " + error, at error level.
void appleScriptFailed(const QString &error);

} // namespace SessionLog
