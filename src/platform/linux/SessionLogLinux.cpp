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

void relaunchSkipped(const QString &application)
{
    qCCritical(sessionLog).noquote()
        << QStringLiteral("Relaunch skipped: %1 cannot be driven now; the session keeps running")
               .arg(application);
}

} // namespace SessionLog
