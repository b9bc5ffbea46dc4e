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

// A project server that the loader does not list for that project is a typo, not a switch the
// user meant: the sidecar would otherwise record a name that matches nothing.
bool isListedProjectServer(const MCPConfigService &service, const ServerSwitch &request)
{
    for (const MCPProject &project : service.projects()) {
        if (project.path != request.projectPath)
            continue;
        // A switched-off name whose stashed definition cannot be shown is still switchable.
        return project.disabled.contains(request.name) ||
               std::any_of(project.servers.cbegin(), project.servers.cend(),
                           [&](const MCPServerEntry &entry) { return entry.name == request.name; });
    }
    return false;
}

// Gives the project path the switch used: the listed one the typed path names.
QCoro::Task<QString> performToggle(ServerSwitch request, ToggleEvents *events)
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
    request.projectPath = ProjectArgument::matchListed(request.projectPath, service.projects());
    if (!isListedProjectServer(service, request))
        throw QuorlaneError(QStringLiteral("MCP server \u2018%1\u2019 was not found.").arg(request.name));
    // No reload after it: the command ends here.
    auto switching = flow.switchServer(request, false);
    co_await std::move(switching);
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
    parser.addOption({QStringLiteral("project"),
                      QStringLiteral("A server of the project at PATH (as 'quorlane list' shows the path)."),
                      QStringLiteral("PATH")});
    if (enabled)
        parser.addOption({QStringLiteral("trust"),
                          QStringLiteral("Switch on a project server whose saved definition came from a file "
                                         "inside the project folder (refused otherwise).")});
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
        auto toggling = performToggle(request, &services.toggleEvents());
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
