#include "platform/SessionLog.h"

#include <QLoggingCategory>

namespace {
Q_LOGGING_CATEGORY(sessionLog, "dev.quorlane.session")
}

namespace SessionLog {

void appleScriptFailed(const QString &error)
{
    qCCritical(sessionLog).noquote() << QStringLiteral("AppleScript failed: ") + error;
}

void relaunchRefused(const QString &application)
{
    qCCritical(sessionLog).noquote()
        << QStringLiteral("Relaunch skipped: Quorlane may not drive %1; the session keeps running")
               .arg(application);
}

} // namespace SessionLog
