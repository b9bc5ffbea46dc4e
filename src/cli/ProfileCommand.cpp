// `quorlane profile save|apply|list|show|delete`: named sets of switches.
#include "cli/CliParser.h"
#include "cli/Commands.h"
#include "cli/JsonOutput.h"
#include "cli/ProfileOutput.h"
#include "cli/TerminalText.h"
#include "platform/QuorlaneError.h"
#include "store/MCPConfigService.h"
#include "store/ProfileFile.h"
#include "switching/ProfilePlan.h"

#include <map>

namespace {

const QString overview = QStringLiteral(
    "A profile is a name and the on/off state of every server, saved and applied in one step.\n"
    "  quorlane profile save NAME [--from-current]   records the current state under NAME\n"
    "  quorlane profile apply NAME [--dry-run]       switches every server whose state differs\n"
    "  quorlane profile list                         names, when saved, how many switches each needs\n"
    "  quorlane profile show NAME                    the state a profile holds\n"
    "  quorlane profile delete NAME\n"
    "Names are up to 64 characters without control characters. Run 'quorlane profile SUBCOMMAND\n"
    "--help' for the options of one.");

// Reads NAME (when `takesName`) after parsing; a usage error or --help gives the exit code.
std::optional<int> parseNamed(CliParser &parser, const QStringList &arguments, CliIO &io, bool takesName,
                              QString &name)
{
    if (takesName)
        parser.addPositional(QStringLiteral("NAME"), QStringLiteral("The profile's name."));
    if (const auto exit = parser.parse(arguments, io))
        return exit;
    const QStringList positional = parser.positionalArguments();
    if (!takesName)
        return positional.isEmpty() ? std::nullopt
                                    : std::optional(parser.unexpectedArgument(
                                          io, TerminalText::printable(positional.first())));
    if (positional.isEmpty())
        return parser.usageError(io, QStringLiteral("missing profile NAME"));
    if (positional.size() > 1)
        return parser.unexpectedArgument(io, TerminalText::printable(positional.at(1)));
    name = positional.first();
    if (const QString problem = ProfileNames::problem(name); !problem.isEmpty())
        return parser.usageError(io, problem);
    return std::nullopt;
}

QCoro::Task<int> runSave(QStringList arguments, CliIO io, ApplicationServices &)
{
    CliParser parser(QStringLiteral("profile save"),
                     QStringLiteral("Records the on/off state of every server under NAME, replacing a "
                                    "profile of that name. Definitions are never copied."));
    parser.addOption({QStringLiteral("from-current"),
                      QStringLiteral("Take the servers' state as it is now (the default).")});
    QString name;
    if (const auto exit = parseNamed(parser, arguments, io, true, name))
        co_return *exit;
    MCPConfigService service;
    QCoro::Task<void> loading = service.reload(CancellationPtr());
    co_await std::move(loading);
    const Profile profile{name, QDateTime::currentDateTimeUtc(), ProfilePlans::currentState(service)};
    bool replaced = false;
    // Tasks in statements of their own: GCC 12 destroys a co_await expression's temporaries twice.
    QCoro::Task<void> saving = ProfileFile::update([&](QList<Profile> &profiles) {
        replaced = profiles.removeIf([&](const Profile &old) { return old.name == name; }) > 0;
        profiles.append(profile);
    });
    co_await std::move(saving);
    io.out << (replaced ? "Replaced profile " : "Saved profile ") << ProfileOutput::quoted(name) << ": "
           << profile.servers.size() << (profile.servers.size() == 1 ? " server\n" : " servers\n");
    co_return ExitCode::ok;
}

QCoro::Task<int> runList(QStringList arguments, CliIO io, ApplicationServices &)
{
    CliParser parser(
        QStringLiteral("profile list"),
        QStringLiteral("Lists the profiles: when each was saved and how many servers applying it "
                       "would switch now."));
    parser.addJsonOption();
    QString unused;
    if (const auto exit = parseNamed(parser, arguments, io, false, unused))
        co_return *exit;
    const QList<Profile> profiles = ProfileFile::load();
    MCPConfigService service;
    if (!profiles.isEmpty()) {
        QCoro::Task<void> loading = service.reload(CancellationPtr());
        co_await std::move(loading);
    }
    const QList<ProfileEntry> current = ProfilePlans::currentState(service);
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    if (profiles.isEmpty() && !parser.json())
        io.out << "No profiles yet: 'quorlane profile save NAME' records one.\n";
    for (const Profile &profile : profiles) {
        const qsizetype switches = ProfilePlans::plan(profile.servers, current).switches.size();
        if (parser.json()) {
            nlohmann::ordered_json item;
            item["name"] = profile.name.toStdString();
            item["savedAt"] = profile.savedAt.toUTC().toString(Qt::ISODate).toStdString();
            item["switches"] = switches;
            list.push_back(std::move(item));
            continue;
        }
        io.out << TerminalText::printable(profile.name) << "  saved "
               << ProfileOutput::savedAt(profile.savedAt) << "  ";
        if (switches == 0)
            io.out << "matches now\n";
        else
            io.out << switches << (switches == 1 ? " switch\n" : " switches\n");
    }
    if (parser.json())
        JsonOutput::print(io, nlohmann::ordered_json{{"profiles", std::move(list)}});
    co_return ExitCode::ok;
}

QCoro::Task<int> runShow(QStringList arguments, CliIO io, ApplicationServices &)
{
    CliParser parser(QStringLiteral("profile show"), QStringLiteral("Shows the state a profile holds."));
    parser.addJsonOption();
    QString name;
    if (const auto exit = parseNamed(parser, arguments, io, true, name))
        co_return *exit;
    const Profile profile = ProfileFile::named(ProfileFile::load(), name);
    if (parser.json()) {
        nlohmann::ordered_json root;
        root["name"] = profile.name.toStdString();
        root["savedAt"] = profile.savedAt.toUTC().toString(Qt::ISODate).toStdString();
        root["servers"] = nlohmann::ordered_json::array();
        for (const ProfileEntry &entry : profile.servers)
            root["servers"].push_back(ProfileOutput::serverJson(entry));
        JsonOutput::print(io, root);
        co_return ExitCode::ok;
    }
    io.out << "Profile " << ProfileOutput::quoted(name) << ", saved "
           << ProfileOutput::savedAt(profile.savedAt) << '\n';
    for (const ProfileEntry &entry : profile.servers)
        io.out << (entry.enabled ? "  on   " : "  off  ") << ProfileOutput::serverLine(entry) << '\n';
    co_return ExitCode::ok;
}

QCoro::Task<int> runDelete(QStringList arguments, CliIO io, ApplicationServices &)
{
    CliParser parser(QStringLiteral("profile delete"),
                     QStringLiteral("Deletes a profile. The servers stay as they are."));
    QString name;
    if (const auto exit = parseNamed(parser, arguments, io, true, name))
        co_return *exit;
    QCoro::Task<void> deleting = ProfileFile::update([&](QList<Profile> &profiles) {
        if (profiles.removeIf([&](const Profile &profile) { return profile.name == name; }) == 0)
            throw ProfileFile::noSuchProfile(name);
    });
    co_await std::move(deleting);
    io.out << "Deleted profile " << ProfileOutput::quoted(name) << '\n';
    co_return ExitCode::ok;
}

} // namespace

QCoro::Task<int> runProfileCommand(QStringList arguments, CliIO io, ApplicationServices &services)
{
    const QString sub = arguments.value(0);
    if (sub == QLatin1String("--help") || sub == QLatin1String("-h")) {
        io.out << "Usage: quorlane profile SUBCOMMAND [options] [NAME]\n\n" << overview << '\n';
        co_return ExitCode::ok;
    }
    const std::map<QString, QCoro::Task<int> (*)(QStringList, CliIO, ApplicationServices &)> subcommands{
        {QStringLiteral("save"), runSave},
        {QStringLiteral("apply"), runProfileApplyCommand},
        {QStringLiteral("list"), runList},
        {QStringLiteral("show"), runShow},
        {QStringLiteral("delete"), runDelete}};
    if (const auto found = subcommands.find(sub); found != subcommands.end()) {
        QCoro::Task<int> running = found->second(arguments.mid(1), io, services);
        co_return co_await std::move(running);
    }
    io.err << "quorlane profile: "
           << (sub.isEmpty() ? QStringLiteral("missing SUBCOMMAND (save, apply, list, show or delete)")
                             : QStringLiteral("unknown subcommand '%1'").arg(TerminalText::printable(sub)))
           << "\nTry 'quorlane profile --help' for more information.\n";
    co_return ExitCode::usage;
}
