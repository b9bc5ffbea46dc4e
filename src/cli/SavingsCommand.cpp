#include "cli/CliParser.h"
#include "cli/Commands.h"
#include "cli/JsonOutput.h"
#include "probe/MCPToolProbe.h"
#include "savings/TokenSavingsService.h"
#include "store/MCPConfigService.h"
#include "store/QuorlaneProjectConfig.h"
#include "switching/ApplicationServices.h"

namespace {

// The switched-off project servers, project by project in the loader's order; a name off in two
// projects counts twice, as it is left out of both projects' sessions.
QStringList disabledProjectServers(const MCPConfigService &service)
{
    QStringList disabled;
    for (const MCPProject &project : service.projects())
        disabled += QuorlaneProjectConfig::load(project.path).disabled;
    return disabled;
}

void printJson(const SavingsStat &stat, CliIO &io)
{
    nlohmann::ordered_json root;
    root["totalTokensSaved"] = stat.totalTokensSaved;
    root["sessionsAnalyzed"] = stat.sessionsAnalyzed;
    root["estimatedCostSaved"] = stat.estimatedCostSaved;
    root["formattedTokensSaved"] = stat.formattedTokensSaved().toStdString();
    root["formattedCostSaved"] = stat.formattedCostSaved().toStdString();
    JsonOutput::print(io, root);
}

} // namespace

QCoro::Task<int> runSavingsCommand(QStringList arguments, CliIO io, ApplicationServices &services)
{
    CliParser parser(
        QStringLiteral("savings"),
        QStringLiteral("Estimates the tokens and money the switched-off project servers saved over the\n"
                       "last 30 days, from the Claude Code transcripts (~/.claude/projects, or\n"
                       "$CLAUDE_CONFIG_DIR/projects) and the cached token estimates (run 'quorlane\n"
                       "tokens' to measure them; a server without an estimate counts 1500 tokens per\n"
                       "message)."));
    parser.addJsonOption();
    if (const auto exit = parser.parseOptionsOnly(arguments, io))
        co_return *exit;

    MCPConfigService service;
    co_await service.reload();
    TokenSavingsService &savings = services.savings();
    co_await savings.refresh(disabledProjectServers(service), services.toolProbe().cachedTokenWeights());
    const SavingsStat stat = savings.savingsStat();

    if (parser.json()) {
        printJson(stat, io);
    } else {
        io.out << "Tokens saved (30 days): " << stat.formattedTokensSaved() << '\n'
               << "Estimated cost saved:   " << stat.formattedCostSaved() << '\n'
               << "User messages analysed: " << stat.sessionsAnalyzed << '\n';
    }
    co_return ExitCode::ok;
}
