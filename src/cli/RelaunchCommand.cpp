#include "cli/CliParser.h"
#include "cli/Commands.h"
#include "cli/JsonOutput.h"
#include "cli/SessionOutput.h"
#include "cli/TerminalText.h"
#include "sessions/RelaunchPreview.h"
#include "sessions/SessionManager.h"
#include "switching/ApplicationServices.h"

#include <QDir>
#include <QFileInfo>

namespace {

// lsof reports the resolved directory, so a project given through a symbolic link or a
// relative path is resolved the same way.
QString resolvedProject(const QString &path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

void printDryRun(const QList<RelaunchStep> &steps, bool json, CliIO &io)
{
    if (json) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const RelaunchStep &step : steps)
            list.push_back(SessionOutput::stepJson(step));
        JsonOutput::print(io, list);
        return;
    }
    if (steps.isEmpty())
        io.out << "No sessions to relaunch.\n";
    for (const RelaunchStep &step : steps) {
        io.out << "Session " << step.session.pid << " (" << TerminalTypes::toString(step.session.terminal)
               << ") in " << TerminalText::printable(step.session.workingDirectory) << '\n';
        if (step.leftAlone) {
            io.out << "  left alone: it cannot be restarted from here\n";
            continue;
        }
        io.out << "  signal " << step.signal << " to " << step.signalPid.value_or(0) << '\n'
               << "  send to " << TerminalText::printable(step.target) << ":\n";
        for (const QString &line : step.text.split(QLatin1Char('\n')))
            io.out << "    " << TerminalText::printable(line) << '\n';
    }
}

void printResult(const QList<ClaudeSession> &selected, const QList<ClaudeSession> &leftAlone, bool json,
                 CliIO &io)
{
    QList<ClaudeSession> relaunched;
    for (const ClaudeSession &session : selected) {
        if (!leftAlone.contains(session))
            relaunched.append(session);
    }
    if (json) {
        nlohmann::ordered_json root;
        root["relaunched"] = SessionOutput::sessionsJson(relaunched);
        root["leftAlone"] = SessionOutput::sessionsJson(leftAlone);
        JsonOutput::print(io, root);
        return;
    }
    if (selected.isEmpty())
        io.out << "No sessions to relaunch.\n";
    for (const ClaudeSession &session : relaunched)
        io.out << "Relaunched " << SessionOutput::sessionLine(session) << '\n';
    for (const ClaudeSession &session : leftAlone)
        io.out << "Left alone (its terminal cannot be scripted, or its folder typed) "
               << SessionOutput::sessionLine(session) << '\n';
}

} // namespace

QCoro::Task<int> runRelaunchCommand(QStringList arguments, CliIO io, ApplicationServices &services)
{
    CliParser parser(QStringLiteral("relaunch"),
                     QStringLiteral("Ends the running Claude Code sessions and starts each again in its own\n"
                                    "terminal with 'claude --resume', so it picks up the current servers.\n"
                                    "Sessions whose terminal cannot be scripted, or whose folder cannot be\n"
                                    "typed, are left running."));
    parser.addOption({QStringLiteral("project"),
                      QStringLiteral("Only the sessions working in PATH or a folder below it."),
                      QStringLiteral("PATH")});
    parser.addOption({QStringLiteral("dry-run"),
                      QStringLiteral("Signal nothing; print what would be sent to each session.")});
    parser.addJsonOption(QStringLiteral("Print JSON instead of text."));
    if (const auto exit = parser.parseOptionsOnly(arguments, io))
        co_return *exit;
    const bool json = parser.json();
    const bool hasProject = parser.isSet(QStringLiteral("project"));
    const QString project = hasProject ? resolvedProject(parser.value(QStringLiteral("project"))) : QString();
    if (hasProject && parser.value(QStringLiteral("project")).isEmpty())
        co_return parser.usageError(io, QStringLiteral("--project needs a folder"));

    SessionManager &manager = services.sessions();
    co_await manager.refreshSessions();
    const QList<ClaudeSession> selected =
        hasProject ? manager.sessionsInProject(project) : manager.sessionSnapshots();

    if (parser.isSet(QStringLiteral("dry-run"))) {
        printDryRun(previewRelaunch(selected, manager.processSource()), json, io);
        co_return ExitCode::ok;
    }
    const QList<ClaudeSession> leftAlone =
        hasProject ? manager.relaunchSessions(project, 0) : manager.relaunch(selected, 0);
    co_await manager.relaunchQueue().waitUntilIdle();
    printResult(selected, leftAlone, json, io);
    co_return ExitCode::ok;
}
