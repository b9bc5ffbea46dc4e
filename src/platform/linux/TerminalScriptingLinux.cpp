#include "platform/TerminalScripting.h"

#include <QStandardPaths>

namespace TerminalScripting {

QString osascriptProgram()
{
    const QString configured = qEnvironmentVariable("QUORLANE_OSASCRIPT");
    if (!configured.isEmpty())
        return configured;
    return QStandardPaths::findExecutable(QStringLiteral("osascript"));
}

bool mayAutomate(const QString &)
{
    // No permission system stands between a stand-in and what it drives.
    return !osascriptProgram().isEmpty();
}

bool mayTypeKeystrokes()
{
    return true;
}

} // namespace TerminalScripting
