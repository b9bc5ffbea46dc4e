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

} // namespace SessionLog
