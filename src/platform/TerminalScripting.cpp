#include "platform/TerminalScripting.h"
#include "platform/SessionLog.h"

#include "platform/ShortCommand.h"

namespace TerminalScripting {

namespace {

// The longest script (Warp's, with its focus waits) takes a few seconds; a terminal that does
// not answer must not hold the relaunch queue for longer than this.
constexpr std::chrono::seconds scriptLimit{30};

} // namespace

void runAppleScript(const QString &script)
{
    const QString program = osascriptProgram();
    if (program.isEmpty())
        return;
    // The script goes in on standard input; standard error comes back with the output, which
    // holds only the error text when the script fails.
    const ShortCommand::Result result = ShortCommand::run(program, {}, {scriptLimit, script.toUtf8(), true});
    if (!result.started)
        return; // no script object could be made: skipped silently
    if (result.succeeded())
        return;
    QString error = QString::fromUtf8(result.output).trimmed();
    if (result.timedOut)
        error = QStringLiteral("no answer within %1 s").arg(scriptLimit.count());
    else if (error.isEmpty())
        error = QStringLiteral("exit status %1").arg(result.exitCode.value_or(-1));
    SessionLog::appleScriptFailed(error);
}

} // namespace TerminalScripting
