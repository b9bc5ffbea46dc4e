#include "platform/SessionLog.h"

#include <os/log.h>

namespace SessionLog {

namespace {

os_log_t sessionLog()
{
    // Created on first use and kept for the life of the process.
    static os_log_t log = os_log_create("dev.quorlane", "session");
    return log;
}

} // namespace

void appleScriptFailed(const QString &error)
{
    const QByteArray text = error.toUtf8();
    os_log_error(sessionLog(), "AppleScript failed: %{public}s", text.constData());
}

void relaunchSkipped(const QString &application)
{
    const QByteArray text = application.toUtf8();
    os_log_error(sessionLog(), "Relaunch skipped: %{public}s cannot be driven now; the session keeps running",
                 text.constData());
}

} // namespace SessionLog
