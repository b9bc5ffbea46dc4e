#include "TerminalScripting.h"
#include "SessionLog.h"

#include <QProcess>

namespace TerminalScripting {

void runAppleScript(const QString &script)
{
    const QString program = osascriptProgram();
    if (program.isEmpty())
        return;
    QProcess process;
    process.start(program, {});
    if (!process.waitForStarted())
        return; // no script object could be made: skipped silently
    process.write(script.toUtf8());
    process.closeWriteChannel();
    process.waitForFinished(-1);
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        QString error = QString::fromUtf8(process.readAllStandardError()).trimmed();
        if (error.isEmpty())
            error = QStringLiteral("exit status %1").arg(process.exitCode());
        SessionLog::appleScriptFailed(error);
    }
}

} // namespace TerminalScripting
