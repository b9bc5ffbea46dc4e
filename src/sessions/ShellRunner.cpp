#include "sessions/ShellRunner.h"

#include "platform/ShortCommand.h"

QString runShell(const QString &commandLine)
{
    return ShortCommand::shellOutput(commandLine);
}
