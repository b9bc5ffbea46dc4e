#include "CliParser.h"
#include "Commands.h"
#include "JsonOutput.h"
#include "ServerOutput.h"
#include "store/QuorlaneProjectConfig.h"

namespace {

struct ListedProject
{
    const MCPProject *project;
    QStringList disabled;
};

nlohmann::ordered_json sectionJson(const QList<MCPServerEntry> &servers,
                                   const std::function<bool(const MCPServerEntry &)> &enabled)
{
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const MCPServerEntry &entry : servers)
        list.push_back(ServerOutput::serverJson(entry, enabled(entry)));
    return list;
}

void printJson(const MCPConfigService &service, const QList<ListedProject> &projects, CliIO &io)
{
    const auto globalEnabled = [&](MCPSource source) {
        return [&service, source](const MCPServerEntry &entry) {
            return !service.disabledGlobalServers().contains({entry.name, source});
        };
    };
    nlohmann::ordered_json root;
    root["global"] = sectionJson(service.globalServers(), globalEnabled(MCPSource::global));
    root["desktop"] = sectionJson(service.desktopServers(), globalEnabled(MCPSource::desktop));
    root["managed"] = sectionJson(service.managedServers(), [](const MCPServerEntry &) { return true; });
    root["projects"] = nlohmann::ordered_json::array();
    for (const ListedProject &listed : projects) {
        nlohmann::ordered_json project;
        project["path"] = listed.project->path.toStdString();
        project["servers"] = sectionJson(listed.project->servers, [&](const MCPServerEntry &entry) {
            return ServerOutput::isProjectServerEnabled(listed.disabled, entry);
        });
        root["projects"].push_back(project);
    }
    JsonOutput::print(io, root);
}

void printServers(const QList<MCPServerEntry> &servers,
                  const std::function<bool(const MCPServerEntry &)> &enabled, CliIO &io,
                  const QString &indent)
{
    if (servers.isEmpty())
        io.out << indent << "(none)\n";
    for (const MCPServerEntry &entry : servers) {
        io.out << indent << (enabled(entry) ? "[on]  " : "[off] ") << entry.name;
        const QString detail = ServerOutput::describe(entry);
        if (!detail.isEmpty())
            io.out << "  " << detail;
        io.out << '\n';
    }
}

void printText(const MCPConfigService &service, const QList<ListedProject> &projects, CliIO &io)
{
    const auto globalEnabled = [&](MCPSource source) {
        return [&service, source](const MCPServerEntry &entry) {
            return !service.disabledGlobalServers().contains({entry.name, source});
        };
    };
    io.out << "Claude Desktop\n";
    printServers(service.desktopServers(), globalEnabled(MCPSource::desktop), io, QStringLiteral("  "));
    io.out << "\nGlobal (Claude Code)\n";
    printServers(service.globalServers(), globalEnabled(MCPSource::global), io, QStringLiteral("  "));
    io.out << "\nManaged (read-only)\n";
    printServers(
        service.managedServers(), [](const MCPServerEntry &) { return true; }, io, QStringLiteral("  "));
    for (const ListedProject &listed : projects) {
        const auto enabled = [&](const MCPServerEntry &entry) {
            return ServerOutput::isProjectServerEnabled(listed.disabled, entry);
        };
        const auto on =
            std::count_if(listed.project->servers.cbegin(), listed.project->servers.cend(), enabled);
        io.out << "\nProject " << listed.project->path << "  (" << on << '/' << listed.project->servers.size()
               << " on)\n";
        printServers(listed.project->servers, enabled, io, QStringLiteral("  "));
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
