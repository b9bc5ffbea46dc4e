#include "cli/CliParser.h"
#include "cli/Commands.h"
#include "cli/ProjectArgument.h"
#include "cli/TerminalText.h"
#include "platform/QuorlaneError.h"
#include "store/MCPConfigService.h"
#include "switching/ApplicationServices.h"
#include "switching/SwitchFlow.h"

#include <QDir>

namespace {

const MCPProject *listedProject(const MCPConfigService &service, const QString &path)
{
    for (const MCPProject &project : service.projects())
        if (project.path == path)
            return &project;
    return nullptr;
}

// What still keeps an approved .mcp.json server from loading in the folder, if anything.
QString stillWaiting(const MCPConfigService &service, const QString &path, const QString &name)
{
    const MCPProject *project = listedProject(service, path);
    if (!project)
        return {};
    for (const ClaudeCodeRules::ServerLoad &load : project->loads) {
        if (load.entry.name != name || load.scope != ClaudeCodeRules::Scope::project)
            continue;
        if (load.state == ClaudeCodeRules::State::awaitingApproval)
            return QStringLiteral("Claude Code asks whether to trust %1 before it loads it there.").arg(path);
        if (load.state == ClaudeCodeRules::State::offInClaudeCode)
            return QStringLiteral("It is still rejected in %1's entry of ~/.claude.json or in "
                                  "~/.claude/settings.json (\"disabledMcpjsonServers\"), which Quorlane "
                                  "does not change.")
                .arg(path);
    }
    return {};
}

// Gives the project path the switch used: the listed one the typed path names.
QCoro::Task<QString> performToggle(ServerSwitch request, ToggleEvents *events, CliIO io)
{
    MCPConfigService service;
    // The command line relaunches nothing after a single switch: `quorlane relaunch` does that.
    const SwitchFlow flow(&service, nullptr, events);
    if (request.source != MCPSource::project) {
        // One look half a second after the switch: long enough for a write Claude Code began
        // before ours to land, short enough for a command. Switched off, such a write would put
        // the server back live beside its stash entry, undoing the switch the command reported.
        service.setRecheckDelays({std::chrono::milliseconds(500)});
        auto switching = flow.switchServer(request);
        co_await std::move(switching);
        auto settling = service.rechecksFinished();
        co_await std::move(settling);
        co_return QString();
    }
    co_await service.reload();
    const QString typed = request.projectPath;
    request.projectPath = ProjectArgument::matchListed(typed, service.projects());
    const MCPProject *project = listedProject(service, request.projectPath);
    if (!project)
        throw QuorlaneError(
            QStringLiteral("MCP server \u2018%1\u2019 was not switched: %2 is not a project folder "
                           "Quorlane knows ('quorlane list' shows them: folders with MCP servers "
                           "of their own or switched off there, and folders under ~ and "
                           "~/Projects with a .mcp.json).")
                .arg(request.name, typed));
    // Whatever loads in the folder under that name, switched where Claude Code reads the switch.
    request.plan = ProjectSwitchPlan::decide(*project, request.name, request.enabled);
    const auto approval = request.plan->approval;
    if (approval && request.trust)
        io.out << "Approving " << TerminalText::printable(request.name) << " of "
               << TerminalText::printable(approval->file) << " for "
               << TerminalText::printable(request.projectPath)
               << "; Claude Code runs: " << TerminalText::printable(whatItRuns(approval->entry)) << '\n';
    auto switching = flow.switchServer(request, false);
    co_await std::move(switching);
    if (approval) {
        co_await service.reload();
        if (const QString note = stillWaiting(service, request.projectPath, request.name); !note.isEmpty())
            io.out << TerminalText::printable(note) << '\n';
    }
    co_return request.projectPath;
}

QCoro::Task<int> runToggleCommand(QStringList arguments, CliIO io, ApplicationServices &services,
                                  bool enabled)
{
    const QString command = enabled ? QStringLiteral("enable") : QStringLiteral("disable");
    CliParser parser(command, enabled
                                  ? QStringLiteral("Switches an MCP server back on, putting its saved "
                                                   "definition back where it came from.")
                                  : QStringLiteral("Switches an MCP server off. Its definition is kept by "
                                                   "Quorlane and comes back with 'quorlane enable'."));
    parser.addPositional(QStringLiteral("NAME"),
                         QStringLiteral("The server's name, as 'quorlane list' shows it."));
    parser.addOption({QStringLiteral("desktop"), QStringLiteral("A server of the Claude Desktop file.")});
    parser.addOption(
        {QStringLiteral("project"),
         enabled
             ? QStringLiteral("Switch NAME on in the project folder PATH (as 'quorlane list' shows it): "
                              "the folder's own server comes back from Quorlane; a user or .mcp.json "
                              "server switched off there leaves the folder's \"disabledMcpServers\" in "
                              "~/.claude.json; a .mcp.json server Claude Code has not approved is approved "
                              "(needs --trust).")
             : QStringLiteral("Switch NAME off in the project folder PATH only (as 'quorlane list' "
                              "shows it): the folder's own server moves to Quorlane; a user or .mcp.json "
                              "server is listed in the folder's \"disabledMcpServers\" in ~/.claude.json, "
                              "as Claude Code's /mcp does (.mcp.json is never changed)."),
         QStringLiteral("PATH")});
    if (enabled)
        parser.addOption(
            {QStringLiteral("trust"),
             QStringLiteral(
                 "Let Claude Code run a definition that came from inside the project folder: put "
                 "back a saved one, or approve a .mcp.json server in PATH/.claude/settings.local.json "
                 "(\"enabledMcpjsonServers\", as Claude Code's prompt does; the folder's trust stays "
                 "Claude Code's question). Refused without it, showing what would run.")});
    if (const auto exit = parser.parse(arguments, io))
        co_return *exit;
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        co_return parser.usageError(io, QStringLiteral("missing server NAME"));
    if (positional.size() > 1)
        co_return parser.unexpectedArgument(io, positional.at(1));
    const bool desktop = parser.isSet(QStringLiteral("desktop"));
    const bool project = parser.isSet(QStringLiteral("project"));
    if (desktop && project)
        co_return parser.usageError(io, QStringLiteral("--desktop and --project cannot be combined"));
    if (project && parser.value(QStringLiteral("project")).isEmpty())
        co_return parser.usageError(io, QStringLiteral("--project needs a PATH"));

    ServerSwitch request{
        positional.first(), desktop ? MCPSource::desktop : (project ? MCPSource::project : MCPSource::global),
        parser.value(QStringLiteral("project")), enabled, enabled && parser.isSet(QStringLiteral("trust"))};
    try {
        auto toggling = performToggle(request, &services.toggleEvents(), io);
        request.projectPath = co_await std::move(toggling);
    } catch (const QuorlaneError &error) {
        io.err << TerminalText::printableLines(error.description()) << '\n';
        co_return ExitCode::failure;
    } catch (const std::exception &error) {
        io.err << TerminalText::printableLines(QString::fromUtf8(error.what())) << '\n';
        co_return ExitCode::failure;
    }
    io.out << (enabled ? "Switched on " : "Switched off ") << TerminalText::printable(request.name) << '\n';
    co_return ExitCode::ok;
}

} // namespace

QCoro::Task<int> runDisableCommand(QStringList arguments, CliIO io, ApplicationServices &services)
{
    return runToggleCommand(std::move(arguments), io, services, false);
}

QCoro::Task<int> runEnableCommand(QStringList arguments, CliIO io, ApplicationServices &services)
{
    return runToggleCommand(std::move(arguments), io, services, true);
}
