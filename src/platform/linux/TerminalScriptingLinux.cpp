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

} // namespace TerminalScripting
