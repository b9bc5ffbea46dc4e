#include "cli/CliParser.h"
#include "cli/Commands.h"
#include "cli/JsonOutput.h"
#include "cli/SessionOutput.h"
#include "sessions/SessionManager.h"
#include "switching/ApplicationServices.h"

QCoro::Task<int> runSessionsCommand(QStringList arguments, CliIO io, ApplicationServices &services)
{
    CliParser parser(QStringLiteral("sessions"),
                     QStringLiteral("Lists the Claude Code sessions running for this user, with their\n"
                                    "directory, terminal, shell, tty and the conversation they resume."));
    parser.addJsonOption(QStringLiteral("Print a JSON list instead of text."));
    if (const auto exit = parser.parseOptionsOnly(arguments, io))
        co_return *exit;

    SessionManager &manager = services.sessions();
    co_await manager.refreshSessions();
    const QList<ClaudeSession> &sessions = manager.sessionSnapshots();

    if (parser.json()) {
        JsonOutput::print(io, SessionOutput::sessionsJson(sessions));
    } else if (sessions.isEmpty()) {
        io.out << "No Claude Code sessions running.\n";
    } else {
        for (const ClaudeSession &session : sessions)
            io.out << SessionOutput::sessionLine(session) << '\n';
    }
    co_return ExitCode::ok;
}
