#include "cli/CliParser.h"
#include "cli/Commands.h"
#include "cli/JsonOutput.h"
#include "cli/TerminalText.h"
#include "services/UpdateChecker.h"

namespace {

nlohmann::ordered_json textOrNull(const QString &text)
{
    return text.isEmpty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(text.toStdString());
}

void printJson(const UpdateChecker &checker, CliIO &io)
{
    const CheckState &state = checker.checkState();
    nlohmann::ordered_json root;
    root["state"] = checkStateName(state.kind).toStdString();
    root["message"] = state.kind == CheckState::Kind::failed ? textOrNull(state.message) : nullptr;
    root["latestVersion"] = textOrNull(checker.latestVersion());
    root["currentVersion"] = checker.runningVersion().toStdString();
    root["changelogURL"] = textOrNull(checker.changelogURL().toString(QUrl::FullyEncoded));
    JsonOutput::print(io, root);
}

void printText(const UpdateChecker &checker, CliIO &io)
{
    const CheckState &state = checker.checkState();
    switch (state.kind) {
    case CheckState::Kind::updateAvailable:
        io.out << "Quorlane " << TerminalText::printable(checker.latestVersion()) << " is available (this is "
               << checker.runningVersion() << ").\n"
               << "Release notes: "
               << TerminalText::printable(checker.changelogURL().toString(QUrl::FullyEncoded)) << '\n';
        break;
    case CheckState::Kind::upToDate:
        io.out << "Quorlane " << checker.runningVersion() << " is up to date (latest release "
               << TerminalText::printable(checker.latestVersion()) << ").\n";
        break;
    case CheckState::Kind::failed:
        io.out << state.message << '\n';
        break;
    case CheckState::Kind::idle:
    case CheckState::Kind::checking:
        io.out << checkStateName(state.kind) << '\n';
        break;
    }
}

} // namespace

QCoro::Task<int> runCheckUpdateCommand(QStringList arguments, CliIO io, ApplicationServices &)
{
    CliParser parser(QStringLiteral("check-update"),
                     QStringLiteral("Asks quorlane.dev once whether a newer release exists.\n"
                                    "Exits 0 whatever the answer; the printed state is the answer."));
    parser.addJsonOption();
    if (const auto exit = parser.parseOptionsOnly(arguments, io))
        co_return *exit;

    UpdateChecker checker;
    co_await checker.checkForUpdates();
    if (parser.json())
        printJson(checker, io);
    else
        printText(checker, io);
    co_return ExitCode::ok;
}
