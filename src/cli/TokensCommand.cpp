#include "cli/CliParser.h"
#include "cli/Commands.h"
#include "cli/JsonOutput.h"
#include "cli/TerminalText.h"
#include "probe/MCPToolProbe.h"
#include "probe/ProbeMessages.h"
#include "probe/ProbeTargets.h"
#include "store/MCPConfigService.h"
#include "switching/ApplicationServices.h"

#include <QSet>

#include <vector>

namespace {

struct Estimate
{
    QString name;
    qint64 tokens = ProbeMessages::fallbackTokens;
    bool probed = false;
};

// The targets the user asked for, in the order asked; nullopt after reporting an unknown name.
std::optional<QList<ProbeTarget>> selectTargets(const QList<ProbeTarget> &all, const QStringList &names,
                                                CliIO &io)
{
    QList<ProbeTarget> selected;
    QSet<QString> seen;
    for (const QString &name : names) {
        if (seen.contains(name))
            continue;
        seen.insert(name);
        const auto it =
            std::find_if(all.cbegin(), all.cend(), [&](const ProbeTarget &t) { return t.name == name; });
        if (it == all.cend()) {
            io.err << "quorlane tokens: no MCP server named '" << TerminalText::printable(name) << "'\n"
                   << "Run 'quorlane list' to see every server.\n";
            io.err.flush();
            return std::nullopt;
        }
        selected.append(*it);
    }
    return selected;
}

void printJson(const QList<Estimate> &estimates, CliIO &io)
{
    nlohmann::ordered_json root;
    root["tokens"] = nlohmann::ordered_json::object();
    root["notProbed"] = nlohmann::ordered_json::array();
    for (const Estimate &estimate : estimates) {
        root["tokens"][estimate.name.toStdString()] = estimate.tokens;
        if (!estimate.probed)
            root["notProbed"].push_back(estimate.name.toStdString());
    }
    JsonOutput::print(io, root);
}

void printText(const QList<Estimate> &estimates, CliIO &io)
{
    if (estimates.isEmpty()) {
        io.out << "(no servers)\n";
        return;
    }
    qsizetype width = 0;
    for (const Estimate &estimate : estimates)
        width = std::max(width, TerminalText::printable(estimate.name).size());
    for (const Estimate &estimate : estimates) {
        io.out << TerminalText::printable(estimate.name).leftJustified(width + 2) << estimate.tokens
               << " tokens/message";
        if (!estimate.probed)
            io.out << "  (not probed: a project .mcp.json server Claude Code has not approved)";
        io.out << '\n';
    }
}

} // namespace

QCoro::Task<int> runTokensCommand(QStringList arguments, CliIO io, ApplicationServices &services)
{
    CliParser parser(
        QStringLiteral("tokens"),
        QStringLiteral("Estimates the tokens each MCP server's tool definitions add to every message.\n"
                       "Servers without a value from the last seven days are probed (started, or\n"
                       "called over HTTP), all at once. Without NAME: every listed server except the\n"
                       "managed ones. A project's .mcp.json server that Claude Code has not approved\n"
                       "is never started; it counts 1500."));
    parser.addJsonOption(
        QStringLiteral("Print {\"tokens\":{NAME:N,…},\"notProbed\":[NAME,…]} instead of text."));
    parser.addPositional(QStringLiteral("NAME"), QStringLiteral("A server to estimate (any number)."),
                         QStringLiteral("[NAME…]"));
    if (const auto exit = parser.parse(arguments, io))
        co_return *exit;
    const QStringList names = parser.positionalArguments();

    MCPConfigService service;
    co_await service.reload();

    const ProjectServerApproval approval = ProjectServerApproval::forCurrentUser();
    QList<MCPServerEntry> ownServers = service.globalServers() + service.desktopServers();
    // Managed servers cannot be switched, so only an explicit NAME asks for one.
    if (!names.isEmpty())
        ownServers += service.managedServers();
    const QList<ProbeTarget> all = ProbeTargets::collect(ownServers, service.projects(), approval);
    const auto targets = names.isEmpty() ? std::optional(all) : selectTargets(all, names, io);
    if (!targets)
        co_return ExitCode::failure;

    // Every probe starts before the first is awaited, so they run side by side.
    MCPToolProbe &probe = services.toolProbe();
    QList<Estimate> estimates;
    std::vector<std::pair<qsizetype, QCoro::Task<qint64>>> running;
    for (const ProbeTarget &target : *targets) {
        estimates.append({target.name, ProbeMessages::fallbackTokens, target.entry.has_value()});
        if (target.entry)
            running.emplace_back(estimates.size() - 1, probe.tokensPerMessage(*target.entry));
    }
    for (auto &[index, task] : running)
        estimates[index].tokens = co_await std::move(task);

    if (parser.json())
        printJson(estimates, io);
    else
        printText(estimates, io);
    co_return ExitCode::ok;
}
