#include "ShellRunner.h"

#include "probe/ShortCommand.h"

QString runShell(const QString &commandLine)
{
    return ShortCommand::shellOutput(commandLine);
}
