#include "Commands.h"
#include "CliCommand.h"

const QList<CliCommand> &cliCommands()
{
    static const QList<CliCommand> commands{
        {QStringLiteral("list"), QStringLiteral("Show every MCP server and whether it is on"),
         runListCommand},
        {QStringLiteral("tokens"), QStringLiteral("Estimate the tokens each server adds to every message"),
         runTokensCommand},
    };
    return commands;
}
