// `quorlane profile apply NAME`: every differing server switched through the one switch flow.
#include "cli/CliParser.h"
#include "cli/Commands.h"
#include "cli/JsonOutput.h"
#include "cli/ProfileOutput.h"
#include "cli/TerminalText.h"
#include "services/AppPreferences.h"
#include "sessions/RelaunchQueue.h"
#include "sessions/SessionManager.h"
#include "store/MCPConfigService.h"
#include "store/ProfileFile.h"
#include "switching/ApplicationServices.h"
#include "switching/ProfileApply.h"

namespace {

template<typename List> nlohmann::ordered_json jsonList(const List &servers)
{
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const auto &server : servers)
        list.push_back(ProfileOutput::serverJson(server));
    return list;
}

void printJson(const Profile &profile, const ProfileApply::Result &result, bool dryRun, CliIO &io)
{
    nlohmann::ordered_json root;
    root["profile"] = profile.name.toStdString();
    root["dryRun"] = dryRun;
    const QList<ServerSwitch> &switches = result.plan.switches;
    root[dryRun ? "wouldSwitch" : "switched"] = jsonList(dryRun ? switches : switches.first(result.done));
    if (!dryRun)
        root["notSwitched"] = jsonList(switches.mid(result.done));
    root["gone"] = jsonList(result.plan.gone);
    root["appeared"] = jsonList(result.plan.appeared);
    root["error"] = result.failure ? nlohmann::ordered_json(result.failure->toStdString()) : nullptr;
    JsonOutput::print(io, root);
}

void printText(const Profile &profile, const ProfileApply::Result &result, bool dryRun, CliIO &io)
{
    const QList<ServerSwitch> &switches = result.plan.switches;
    if (switches.isEmpty())
        io.out << "Nothing to switch: every server is as profile " << ProfileOutput::quoted(profile.name)
               << " has it.\n";
    for (qsizetype i = 0; i < switches.size(); ++i) {
        const ServerSwitch &change = switches.at(i);
        if (dryRun)
            io.out << (change.enabled ? "Would switch on " : "Would switch off ");
        else if (i < result.done)
            io.out << (change.enabled ? "Switched on " : "Switched off ");
        else
            io.out << (change.enabled ? "Not switched on: " : "Not switched off: ");
        io.out << ProfileOutput::serverLine(change) << '\n';
    }
    for (const ProfileEntry &entry : result.plan.gone)
        io.out << "Left alone, no longer configured: " << ProfileOutput::serverLine(entry) << '\n';
    for (const ProfileEntry &entry : result.plan.appeared)
        io.out << "Appeared since the profile was saved, left as it is: " << ProfileOutput::serverLine(entry)
               << '\n';
}

} // namespace

QCoro::Task<int> runProfileApplyCommand(QStringList arguments, CliIO io, ApplicationServices &services)
{
    CliParser parser(
        QStringLiteral("profile apply"),
        QStringLiteral("Switches every server whose state differs from the profile's, each "
                       "through the same path as a click, and relaunches the sessions concerned "
                       "once at the end when autoRelaunch is on. Servers gone since the profile "
                       "was saved are left alone, servers added since are left as they are. A "
                       "failing switch stops the rest; every definition stays where it belongs."));
    parser.addPositional(QStringLiteral("NAME"), QStringLiteral("The profile's name."));
    parser.addOption(
        {QStringLiteral("dry-run"), QStringLiteral("Print what would be switched; change nothing.")});
    parser.addJsonOption();
    if (const auto exit = parser.parse(arguments, io))
        co_return *exit;
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        co_return parser.usageError(io, QStringLiteral("missing profile NAME"));
    if (positional.size() > 1)
        co_return parser.unexpectedArgument(io, TerminalText::printable(positional.at(1)));
    const Profile profile = ProfileFile::named(ProfileFile::load(), positional.first());
    const bool dryRun = parser.isSet(QStringLiteral("dry-run"));

    MCPConfigService service;
    // One look half a second after each global switch, as after `quorlane disable`.
    service.setRecheckDelays({std::chrono::milliseconds(500)});
    SessionManager &sessions = services.sessions();
    const bool relaunch = AppPreferences().autoRelaunch();
    ProfileApply::Request request{profile, relaunch, dryRun, {}};
    auto applying = ProfileApply::apply(SwitchFlow(&service, &sessions, &services.toggleEvents()), &service,
                                        std::move(request));
    const ProfileApply::Result result = co_await std::move(applying);
    auto settling = service.rechecksFinished();
    co_await std::move(settling);
    // The relaunches are queued with a delay; the command ends once they have run.
    if (relaunch && result.done > 0) {
        auto relaunching = sessions.relaunchQueue().waitUntilIdle();
        co_await std::move(relaunching);
    }

    if (parser.json())
        printJson(profile, result, dryRun, io);
    else
        printText(profile, result, dryRun, io);
    if (result.failure) {
        io.err << TerminalText::printableLines(*result.failure) << '\n';
        co_return ExitCode::failure;
    }
    co_return ExitCode::ok;
}
