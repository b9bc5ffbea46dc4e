#include "cli/Commands.h"
#include "cli/CliCommand.h"

const QList<CliCommand> &cliCommands()
{
    static const QList<CliCommand> commands{
        {QStringLiteral("list"), QStringLiteral("Show every MCP server and whether it is on"),
         runListCommand},
        {QStringLiteral("disable"), QStringLiteral("Switch an MCP server off, keeping its definition"),
         runDisableCommand},
        {QStringLiteral("enable"), QStringLiteral("Switch an MCP server back on"), runEnableCommand},
        {QStringLiteral("tokens"), QStringLiteral("Estimate the tokens each server adds to every message"),
         runTokensCommand},
        {QStringLiteral("savings"), QStringLiteral("Estimate what the switched-off project servers saved"),
         runSavingsCommand},
        {QStringLiteral("sessions"), QStringLiteral("Show the Claude Code sessions running now"),
         runSessionsCommand},
        {QStringLiteral("relaunch"),
         QStringLiteral("Restart Claude Code sessions so they load the current servers"), runRelaunchCommand},
        {QStringLiteral("watch"), QStringLiteral("Print a line whenever a configuration file changes"),
         runWatchCommand},
        {QStringLiteral("profile"), QStringLiteral("Save and apply named sets of switches"),
         runProfileCommand},
        {QStringLiteral("prefs"), QStringLiteral("Show or change Quorlane's settings"), runPrefsCommand},
        {QStringLiteral("check-update"), QStringLiteral("Check quorlane.dev for a newer release"),
         runCheckUpdateCommand},
    };
    return commands;
}
