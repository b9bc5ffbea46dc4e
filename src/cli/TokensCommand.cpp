#include "cli/CliParser.h"
#include "cli/Commands.h"
#include "cli/JsonOutput.h"
#include "cli/TerminalText.h"
#include "probe/MCPToolProbe.h"
#include "probe/ProbeTargets.h"
#include "store/MCPConfigService.h"
#include "switching/ApplicationServices.h"

#include <QSet>

#include <vector>

namespace {

struct Estimate
{
    ProbeTarget target;
    ProbeResult result; // the stand-in until a probe answers
};

// The targets the user asked for, in the order asked (every server of a name); nullopt after
// reporting an unknown name.
std::optional<QList<ProbeTarget>> selectTargets(const QList<ProbeTarget> &all, const QStringList &names,
                                                CliIO &io)
{
    QList<ProbeTarget> selected;
    QSet<QString> seen;
    for (const QString &name : names) {
        if (seen.contains(name))
            continue;
        seen.insert(name);
        const auto before = selected.size();
        std::copy_if(all.cbegin(), all.cend(), std::back_inserter(selected),
                     [&](const ProbeTarget &t) { return t.server.name == name; });
        if (selected.size() == before) {
            io.err << "quorlane tokens: no MCP server named '" << TerminalText::printable(name) << "'\n"
                   << "Run 'quorlane list' to see every server.\n";
            io.err.flush();
            return std::nullopt;
        }
    }
    return selected;
}

QString sourceName(const ProbeIdentity &server)
{
    return MCPSources::toString(server.source.value_or(MCPSource::global));
}

void printJson(const QList<Estimate> &estimates, bool withTools, CliIO &io)
{
    QHash<QString, int> servers;
    for (const Estimate &estimate : estimates)
        ++servers[estimate.target.server.name];
    nlohmann::ordered_json root;
    // By name, for the names that stand for one server only.
    root["tokens"] = nlohmann::ordered_json::object();
    root["notProbed"] = nlohmann::ordered_json::array();
    for (const Estimate &estimate : estimates) {
        const std::string name = estimate.target.server.name.toStdString();
        if (servers.value(estimate.target.server.name) != 1)
            continue;
        root["tokens"][name] = estimate.result.tokensPerMessage;
        if (!estimate.target.entry)
            root["notProbed"].push_back(name);
    }
    root["servers"] = nlohmann::ordered_json::array();
    for (const Estimate &estimate : estimates) {
        const ProbeIdentity &server = estimate.target.server;
        nlohmann::ordered_json entry;
        entry["name"] = server.name.toStdString();
        entry["source"] = sourceName(server).toStdString();
        if (server.source == MCPSource::project)
            entry["project"] = server.project.toStdString();
        entry["tokensPerMessage"] = estimate.result.tokensPerMessage;
        entry["measured"] = estimate.result.measured;
        if (withTools) {
            entry["tools"] = nlohmann::ordered_json::array();
            for (const ToolTokens &tool : estimate.result.tools)
                entry["tools"].push_back({{"name", tool.name.toStdString()}, {"tokens", tool.tokens}});
        }
        root["servers"].push_back(std::move(entry));
    }
    JsonOutput::print(io, root);
}

QString whereFrom(const ProbeIdentity &server)
{
    return server.source == MCPSource::project
               ? QStringLiteral("project ") + TerminalText::printable(server.project)
               : sourceName(server);
}

void printText(const QList<Estimate> &estimates, bool withTools, CliIO &io)
{
    if (estimates.isEmpty()) {
        io.out << "(no servers)\n";
        return;
    }
    qsizetype width = 0;
    for (const Estimate &estimate : estimates)
        width = std::max(width, TerminalText::printable(estimate.target.server.name).size());
    for (const Estimate &estimate : estimates) {
        io.out << TerminalText::printable(estimate.target.server.name).leftJustified(width + 2)
               << estimate.result.tokensPerMessage << " tokens/message  "
               << whereFrom(estimate.target.server);
        if (!estimate.target.entry)
            io.out << "  (not probed: a project .mcp.json server Claude Code has not approved)";
        else if (!estimate.result.measured)
            io.out << "  (stand-in: the server gave no tool list; asked again next time)";
        io.out << '\n';
        if (!withTools)
            continue;
        qsizetype toolWidth = 0;
        for (const ToolTokens &tool : estimate.result.tools)
            toolWidth = std::max(toolWidth, TerminalText::printable(tool.name).size());
        for (const ToolTokens &tool : estimate.result.tools)
            io.out << "    " << TerminalText::printable(tool.name).leftJustified(toolWidth + 2) << tool.tokens
                   << '\n';
    }
}

} // namespace

QCoro::Task<int> runTokensCommand(QStringList arguments, CliIO io, ApplicationServices &services)
{
    CliParser parser(
        QStringLiteral("tokens"),
        QStringLiteral(
            "Estimates the tokens each MCP server's tool definitions add to every message.\n"
            "Each server is measured on its own: a global, a Claude Desktop and a project server\n"
            "of one name are three servers. Servers without a value from the last seven days for\n"
            "their current definition are probed (started, or called over HTTP), all at once; a\n"
            "server that gives no tool list counts 1500 and is asked again next time. Without\n"
            "NAME: every listed server except the managed ones. A project's .mcp.json server that\n"
            "Claude Code has not approved is never started; it counts 1500.\n"
            "\n"
            "--json prints {\"tokens\":{NAME:N,…},\"notProbed\":[NAME,…],\"servers\":[…]}.\n"
            "\"tokens\" and \"notProbed\" hold the names that stand for one server only.\n"
            "\"servers\" has one entry per server: \"name\", \"source\" (global, desktop, managed\n"
            "or project), \"project\" (the folder, project servers only), \"tokensPerMessage\",\n"
            "\"measured\" (false for the 1500 stand-in) and, with --tools,\n"
            "\"tools\": [{\"name\", \"tokens\"}, …]."));
    parser.addJsonOption(QStringLiteral("Print one JSON object (described above) instead of text."));
    parser.addOption({QStringLiteral("tools"),
                      QStringLiteral("List each server's tools with their tokens, heaviest first.")});
    parser.addPositional(QStringLiteral("NAME"),
                         QStringLiteral("A server to estimate (any number; every server of that name)."),
                         QStringLiteral("[NAME…]"));
    if (const auto exit = parser.parse(arguments, io))
        co_return *exit;
    const QStringList names = parser.positionalArguments();

    MCPConfigService service;
    co_await service.reload();

    const ProjectServerApproval approval = ProjectServerApproval::forCurrentUser();
    QList<std::pair<MCPSource, QList<MCPServerEntry>>> ownServers{
        {MCPSource::global, service.globalServers()}, {MCPSource::desktop, service.desktopServers()}};
    // Managed servers cannot be switched, so only an explicit NAME asks for one.
    if (!names.isEmpty())
        ownServers.append({MCPSource::managed, service.managedServers()});
    const QList<ProbeTarget> all = ProbeTargets::collect(ownServers, service.projects(), approval);
    const auto targets = names.isEmpty() ? std::optional(all) : selectTargets(all, names, io);
    if (!targets)
        co_return ExitCode::failure;

    // Every probe starts before the first is awaited, so they run side by side.
    MCPToolProbe &probe = services.toolProbe();
    QList<Estimate> estimates;
    std::vector<std::pair<qsizetype, QCoro::Task<ProbeResult>>> running;
    for (const ProbeTarget &target : *targets) {
        estimates.append({target, {}});
        if (target.entry)
            running.emplace_back(estimates.size() - 1, probe.estimate(target.server, *target.entry));
    }
    for (auto &[index, task] : running)
        estimates[index].result = co_await std::move(task);

    const bool withTools = parser.isSet(QStringLiteral("tools"));
    if (parser.json())
        printJson(estimates, withTools, io);
    else
        printText(estimates, withTools, io);
    co_return ExitCode::ok;
}
