#include "cli/CliParser.h"
#include "cli/Commands.h"
#include "cli/JsonOutput.h"
#include "cli/TerminalText.h"
#include "platform/PreferenceStore.h"
#include "services/AppPreferences.h"
#include "switching/ApplicationServices.h"

#include <QCoro/QCoroSignal>

namespace {

const QStringList settingNames{QStringLiteral("autoRelaunch"), QStringLiteral("launchAtLogin"),
                               QStringLiteral("excludedPaths")};

void printJson(const AppPreferences &preferences, CliIO &io)
{
    nlohmann::ordered_json root;
    root["autoRelaunch"] = preferences.autoRelaunch();
    root["launchAtLogin"] = preferences.launchAtLogin();
    root["excludedPaths"] = nlohmann::ordered_json::array();
    for (const QString &name : preferences.excludedPaths())
        root["excludedPaths"].push_back(name.toStdString());
    root["panelState"] = panelStateStoredValue(preferences.panelState()).toStdString();
    JsonOutput::print(io, root);
}

void printText(const AppPreferences &preferences, CliIO &io)
{
    const auto text = [](bool value) { return value ? "true" : "false"; };
    const QString indent(15, QLatin1Char(' '));
    io.out << "autoRelaunch   " << text(preferences.autoRelaunch()) << '\n';
    io.out << "launchAtLogin  " << text(preferences.launchAtLogin()) << '\n';
    io.out << "excludedPaths  ";
    if (preferences.excludedPaths().isEmpty())
        io.out << "(none)\n";
    for (qsizetype i = 0; i < preferences.excludedPaths().size(); ++i)
        io.out << (i == 0 ? QString() : indent) << TerminalText::printable(preferences.excludedPaths().at(i))
               << '\n';
    io.out << "panelState     " << panelStateStoredValue(preferences.panelState()) << '\n';
}

// Prints what the store holds now, which after a refused login-item change is the real status.
void printStored(bool json, CliIO &io)
{
    const AppPreferences stored;
    if (json)
        printJson(stored, io);
    else
        printText(stored, io);
}

// Writes the value once more, this time looking at the outcome: the service's own writes
// cannot report a preferences file that cannot be written.
bool saved(QAnyStringView key, const QVariant &value, CliIO &io)
{
    const QString failure = PreferenceStore::write(key, value);
    if (failure.isEmpty())
        return true;
    io.err << "quorlane prefs: " << failure << "; the setting was not saved.\n";
    return false;
}

std::optional<bool> parseBool(const QString &text)
{
    if (text == QLatin1String("true"))
        return true;
    if (text == QLatin1String("false"))
        return false;
    return std::nullopt;
}

} // namespace

QCoro::Task<int> runPrefsCommand(QStringList arguments, CliIO io, ApplicationServices &services)
{
    CliParser parser(
        QStringLiteral("prefs"),
        QStringLiteral(
            "Shows Quorlane's settings, or changes one:\n"
            "  quorlane prefs set autoRelaunch true|false\n"
            "  quorlane prefs set launchAtLogin true|false   (registers or removes the login item)\n"
            "  quorlane prefs set excludedPaths [NAME...]    (project names whose servers are hidden;\n"
            "                                                 no names clears the list)"));
    parser.addJsonOption();
    parser.addPositional(QStringLiteral("set"), QStringLiteral("Change a setting."),
                         QStringLiteral("[set SETTING VALUE...]"));
    if (const auto exit = parser.parse(arguments, io))
        co_return *exit;
    const bool json = parser.json();
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        // A store that cannot be read shows defaults that are not the user's settings.
        if (const QString problem = PreferenceStore::problem(); !problem.isEmpty()) {
            io.err << "quorlane prefs: " << TerminalText::printableLines(problem) << '\n';
            co_return ExitCode::failure;
        }
        printStored(json, io);
        co_return ExitCode::ok;
    }
    if (positional.first() != QLatin1String("set"))
        co_return parser.unexpectedArgument(io, positional.first());
    if (positional.size() < 2)
        co_return parser.usageError(io,
                                    QStringLiteral("set needs a setting: %1").arg(settingNames.join(", ")));

    const QString setting = positional.at(1);
    const QStringList values = positional.mid(2);
    if (!settingNames.contains(setting))
        co_return parser.usageError(
            io, QStringLiteral("unknown setting '%1' (settings: %2)").arg(setting, settingNames.join(", ")));

    AppPreferences &preferences = services.preferences();
    if (setting == QLatin1String("excludedPaths")) {
        // The user's own edit of the list: the one place outside the panel that stores it.
        if (!saved(PreferenceKeys::excludedPaths, values, io))
            co_return ExitCode::failure;
        preferences.setExcludedPaths(values);
        printStored(json, io);
        co_return ExitCode::ok;
    }

    const std::optional<bool> value = values.size() == 1 ? parseBool(values.first()) : std::nullopt;
    if (!value)
        co_return parser.usageError(io, QStringLiteral("%1 takes one value, true or false").arg(setting));

    if (setting == QLatin1String("autoRelaunch")) {
        // Stored first, as above: a store that cannot be written leaves the service untouched.
        if (!saved(PreferenceKeys::autoRelaunch, *value, io))
            co_return ExitCode::failure;
        preferences.setAutoRelaunch(*value);
        printStored(json, io);
        co_return ExitCode::ok;
    }

    // The change runs on a later turn of the event loop and announces its outcome; listen before
    // asking, so the answer cannot slip past.
    std::optional<bool> outcome;
    const QMetaObject::Connection listening =
        QObject::connect(&preferences, &AppPreferences::loginItemChangeFinished,
                         [&outcome](bool enabled) { outcome = enabled; });
    preferences.setLaunchAtLogin(*value);
    if (!outcome)
        co_await qCoro(&preferences, &AppPreferences::loginItemChangeFinished);
    QObject::disconnect(listening);
    const bool isEnabled = outcome.value_or(false);
    if (!saved(PreferenceKeys::launchAtLogin, isEnabled, io))
        co_return ExitCode::failure;
    printStored(json, io);
    if (*value && preferences.loginItemRequiresApproval()) {
        // Registered: what is missing is the user's own click, not something that failed.
        io.err << "quorlane prefs: the login item is registered and waits for your approval in "
                  "System Settings > General > Login Items; Quorlane starts at login once you allow it.\n";
        co_return ExitCode::ok;
    }
    if (isEnabled != *value) {
        io.err << "quorlane prefs: could not " << (*value ? "register" : "remove") << " the login item ("
               << TerminalText::printable(preferences.loginItemFailure()) << "); Quorlane "
               << (isEnabled ? "still starts" : "does not start") << " at login.\n";
        co_return ExitCode::failure;
    }
    co_return ExitCode::ok;
}
