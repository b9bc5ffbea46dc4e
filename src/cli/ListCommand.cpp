#include "CliParser.h"
#include "Commands.h"
#include "JsonOutput.h"
#include "ServerOutput.h"
#include "TerminalText.h"
#include "store/QuorlaneProjectConfig.h"

namespace {

struct ListedProject
{
    const MCPProject *project;
    QStringList disabled;
};

using EnabledTest = std::function<bool(const MCPServerEntry &)>;

EnabledTest globalEnabled(const MCPConfigService &service, MCPSource source)
{
    return [&service, source](const MCPServerEntry &entry) {
        return !service.disabledGlobalServers().contains({entry.name, source});
    };
}

// Managed servers cannot be switched off.
EnabledTest alwaysEnabled()
{
    return [](const MCPServerEntry &) { return true; };
}

EnabledTest projectEnabled(const ListedProject &listed)
{
    return [&listed](const MCPServerEntry &entry) {
        return ServerOutput::isProjectServerEnabled(listed.disabled, entry);
    };
}

nlohmann::ordered_json sectionJson(const QList<MCPServerEntry> &servers, const EnabledTest &enabled)
{
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const MCPServerEntry &entry : servers)
        list.push_back(ServerOutput::serverJson(entry, enabled(entry)));
    return list;
}

void printJson(const MCPConfigService &service, const QList<ListedProject> &projects, CliIO &io)
{
    nlohmann::ordered_json root;
    root["global"] = sectionJson(service.globalServers(), globalEnabled(service, MCPSource::global));
    root["desktop"] = sectionJson(service.desktopServers(), globalEnabled(service, MCPSource::desktop));
    root["managed"] = sectionJson(service.managedServers(), alwaysEnabled());
    root["projects"] = nlohmann::ordered_json::array();
    for (const ListedProject &listed : projects) {
        nlohmann::ordered_json project;
        project["path"] = listed.project->path.toStdString();
        project["servers"] = sectionJson(listed.project->servers, projectEnabled(listed));
        project["offInClaudeCode"] = nlohmann::ordered_json::array();
        for (const QString &name : listed.project->offInClaudeCode)
            project["offInClaudeCode"].push_back(name.toStdString());
        root["projects"].push_back(project);
    }
    JsonOutput::print(io, root);
}

void printServers(const QList<MCPServerEntry> &servers, const EnabledTest &enabled, CliIO &io)
{
    if (servers.isEmpty())
        io.out << "  (none)\n";
    for (const MCPServerEntry &entry : servers) {
        io.out << "  " << (enabled(entry) ? "[on]  " : "[off] ") << TerminalText::printable(entry.name);
        const QString detail = ServerOutput::describe(entry);
        if (!detail.isEmpty())
            io.out << "  " << TerminalText::printable(detail);
        io.out << '\n';
    }
}

void printText(const MCPConfigService &service, const QList<ListedProject> &projects, CliIO &io)
{
    io.out << "Claude Desktop\n";
    printServers(service.desktopServers(), globalEnabled(service, MCPSource::desktop), io);
    io.out << "\nGlobal (Claude Code)\n";
    printServers(service.globalServers(), globalEnabled(service, MCPSource::global), io);
    io.out << "\nManaged (read-only)\n";
    printServers(service.managedServers(), alwaysEnabled(), io);
    for (const ListedProject &listed : projects) {
        const EnabledTest enabled = projectEnabled(listed);
        const auto on =
            std::count_if(listed.project->servers.cbegin(), listed.project->servers.cend(), enabled);
        io.out << "\nProject " << TerminalText::printable(listed.project->path) << "  (" << on << '/'
               << listed.project->servers.size() << " on)\n";
        printServers(listed.project->servers, enabled, io);
        // Claude Code does not load these here whatever the switches above say.
        if (!listed.project->offInClaudeCode.isEmpty())
            io.out << "  off in Claude Code: " << listed.project->offInClaudeCode.join(QStringLiteral(", "))
                   << '\n';
    }
}

} // namespace

QCoro::Task<int> runListCommand(QStringList arguments, CliIO io)
{
    CliParser parser(
        QStringLiteral("list"),
        QStringLiteral("Shows every MCP server Quorlane finds, grouped by where it is configured:\n"
                       "Claude Desktop, global (~/.claude.json), managed, then each project.\n"
                       "Switched-off servers are listed too, marked [off]."));
    parser.addJsonOption();
    if (const auto exit = parser.parseOptionsOnly(arguments, io))
        co_return *exit;

    MCPConfigService service;
    co_await service.reload();

    QList<ListedProject> projects;
    for (const MCPProject &project : service.projects())
        projects.append({&project, QuorlaneProjectConfig::load(project.path).disabled});

    if (parser.json())
        printJson(service, projects, io);
    else
        printText(service, projects, io);
    co_return ExitCode::ok;
}
