#include "cli/CliParser.h"
#include "cli/Commands.h"
#include "cli/JsonOutput.h"
#include "cli/ServerOutput.h"
#include "cli/TerminalText.h"
#include "probe/MCPToolProbe.h"
#include "switching/ApplicationServices.h"

namespace {

// How one section marks its servers.
struct Marks
{
    std::function<bool(const MCPServerEntry &)> enabled;
    std::function<bool(const MCPServerEntry &)> untrusted = [](const MCPServerEntry &) { return false; };
};

Marks globalMarks(const MCPConfigService &service, MCPSource source)
{
    return {[&service, source](const MCPServerEntry &entry) {
        return !service.disabledGlobalServers().contains({entry.name, source});
    }};
}

// Managed servers cannot be switched off.
Marks managedMarks()
{
    return {[](const MCPServerEntry &) { return true; }};
}

Marks projectMarks(const MCPProject &project)
{
    return {[&project](const MCPServerEntry &entry) { return project.isServerEnabled(entry.name); },
            [&project](const MCPServerEntry &entry) { return project.isUntrusted(entry.name); }};
}

nlohmann::ordered_json sectionJson(const QList<MCPServerEntry> &servers, const Marks &marks)
{
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const MCPServerEntry &entry : servers)
        list.push_back(ServerOutput::serverJson(entry, marks.enabled(entry), marks.untrusted(entry)));
    return list;
}

// Figures from the probe cache only: listing never starts a server. A server whose definition
// was never measured counts with the fallback estimate.
struct Figures
{
    const MCPToolProbe &probe;

    [[nodiscard]] qint64 of(const ClaudeCodeRules::ServerLoad &load) const
    {
        return probe.cachedFigure(load.entry).value_or(kFallbackTokens);
    }
    [[nodiscard]] bool measured(const ClaudeCodeRules::ServerLoad &load) const
    {
        return probe.cachedFigure(load.entry).has_value();
    }
    // What a session carries per message: the servers that load.
    [[nodiscard]] qint64 total(const QList<ClaudeCodeRules::ServerLoad> &loads) const
    {
        qint64 sum = 0;
        for (const auto &load : loads)
            if (load.state == ClaudeCodeRules::State::on)
                sum += of(load);
        return sum;
    }
    static constexpr qint64 kFallbackTokens = 1500;
};

nlohmann::ordered_json loadsJson(const QList<ClaudeCodeRules::ServerLoad> &loads, const Figures &figures)
{
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const auto &load : loads)
        list.push_back({{"name", load.entry.name.toStdString()},
                        {"scope", ClaudeCodeRules::toString(load.scope).toStdString()},
                        {"state", ClaudeCodeRules::toString(load.state).toStdString()},
                        {"tokensPerMessage", figures.of(load)},
                        {"measured", figures.measured(load)}});
    return list;
}

void printJson(const MCPConfigService &service, const Figures &figures, CliIO &io)
{
    nlohmann::ordered_json root;
    root["global"] = sectionJson(service.globalServers(), globalMarks(service, MCPSource::global));
    root["desktop"] = sectionJson(service.desktopServers(), globalMarks(service, MCPSource::desktop));
    root["managed"] = sectionJson(service.managedServers(), managedMarks());
    root["projects"] = nlohmann::ordered_json::array();
    for (const MCPProject &listed : service.projects()) {
        nlohmann::ordered_json project;
        project["path"] = listed.path.toStdString();
        project["servers"] = sectionJson(listed.servers, projectMarks(listed));
        project["offInClaudeCode"] = nlohmann::ordered_json::array();
        for (const QString &name : listed.offInClaudeCode)
            project["offInClaudeCode"].push_back(name.toStdString());
        project["loads"] = loadsJson(listed.loads, figures);
        project["tokensPerMessage"] = figures.total(listed.loads);
        root["projects"].push_back(project);
    }
    root["tokensPerMessage"] = figures.total(service.loads());
    root["errors"] = nlohmann::ordered_json::array();
    for (const SourceError &error : service.loadErrors())
        root["errors"].push_back(
            {{"file", error.file.toStdString()}, {"message", error.message.toStdString()}});
    JsonOutput::print(io, root);
}

void printServers(const QList<MCPServerEntry> &servers, const Marks &marks, CliIO &io)
{
    if (servers.isEmpty())
        io.out << "  (none)\n";
    for (const MCPServerEntry &entry : servers) {
        io.out << "  " << (marks.enabled(entry) ? "[on]  " : "[off] ") << TerminalText::printable(entry.name);
        const QString detail = ServerOutput::describe(entry);
        if (!detail.isEmpty())
            io.out << "  " << TerminalText::printable(detail);
        if (marks.untrusted(entry))
            io.out << "  (untrusted: not switched off by you; enable needs --trust)";
        io.out << '\n';
    }
}

// One line per server that is not plainly on, saying why: what a session there really gets.
void printLoads(const QList<ClaudeCodeRules::ServerLoad> &loads, const Figures &figures, CliIO &io)
{
    for (const auto &load : loads) {
        io.out << "    " << (load.state == ClaudeCodeRules::State::on ? "loads " : "      ")
               << TerminalText::printable(load.entry.name) << " (" << ClaudeCodeRules::toString(load.scope)
               << ", " << figures.of(load) << (figures.measured(load) ? "" : "?") << " tokens)";
        if (load.state != ClaudeCodeRules::State::on)
            io.out << "  " << ClaudeCodeRules::toString(load.state);
        io.out << '\n';
    }
}

void printText(const MCPConfigService &service, const Figures &figures, CliIO &io)
{
    io.out << "Claude Desktop\n";
    printServers(service.desktopServers(), globalMarks(service, MCPSource::desktop), io);
    io.out << "\nGlobal (Claude Code)\n";
    printServers(service.globalServers(), globalMarks(service, MCPSource::global), io);
    io.out << "\nManaged (read-only)\n";
    printServers(service.managedServers(), managedMarks(), io);
    io.out << "\nOutside any project, a Claude Code session carries " << figures.total(service.loads())
           << " tokens per message\n";
    for (const MCPProject &project : service.projects()) {
        const Marks marks = projectMarks(project);
        const auto on = std::count_if(project.servers.cbegin(), project.servers.cend(), marks.enabled);
        io.out << "\nProject " << TerminalText::printable(project.path) << "  (" << on << '/'
               << project.servers.size() << " on)\n";
        printServers(project.servers, marks, io);
        io.out << "  A session here carries " << figures.total(project.loads) << " tokens per message:\n";
        printLoads(project.loads, figures, io);
        // Claude Code does not load these here whatever the switches above say.
        if (!project.offInClaudeCode.isEmpty())
            io.out << "  off in Claude Code: "
                   << TerminalText::printable(project.offInClaudeCode.join(QStringLiteral(", "))) << '\n';
    }
}

} // namespace

QCoro::Task<int> runListCommand(QStringList arguments, CliIO io, ApplicationServices &services)
{
    CliParser parser(
        QStringLiteral("list"),
        QStringLiteral("Shows every MCP server Quorlane finds, grouped by where it is configured:\n"
                       "Claude Desktop, global (~/.claude.json), managed, then each project.\n"
                       "Switched-off servers are listed too, marked [off]; one whose definition came\n"
                       "from a file inside a project folder is marked untrusted.\n"
                       "Each project also shows what a Claude Code session started there loads, from\n"
                       "every scope (user, local, project .mcp.json files up to /, managed), and why a\n"
                       "server does not load: off, offInClaudeCode (/mcp or rejected),\n"
                       "awaitingApproval, shadowed or offByPolicy; with the tokens per message it\n"
                       "carries (a figure marked ? is the 1500 stand-in of a server never measured)."));
    parser.addJsonOption();
    if (const auto exit = parser.parseOptionsOnly(arguments, io))
        co_return *exit;

    MCPConfigService service;
    co_await service.reload();
    const Figures figures{services.toolProbe()};
    if (parser.json())
        printJson(service, figures, io);
    else
        printText(service, figures, io);
    // Everything that could be read is shown; a source that could not be is not an empty one.
    for (const SourceError &error : service.loadErrors())
        io.err << "quorlane list: " << TerminalText::printableLines(error.message) << '\n';
    co_return service.loadErrors().isEmpty() ? ExitCode::ok : ExitCode::failure;
}
