#include "Commands.h"
#include "CliCommand.h"

const QList<CliCommand> &cliCommands()
{
    static const QList<CliCommand> commands{
        {QStringLiteral("list"), QStringLiteral("Show every MCP server and whether it is on"),
         runListCommand},
        {QStringLiteral("disable"), QStringLiteral("Switch an MCP server off, keeping its definition"),
         runDisableCommand},
        {QStringLiteral("enable"), QStringLiteral("Switch an MCP server back on"), runEnableCommand},
        {QStringLiteral("watch"), QStringLiteral("Print a line whenever a configuration file changes"),
         runWatchCommand},
    };
    return commands;
}
