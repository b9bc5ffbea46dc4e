#include "CliParser.h"
#include "Commands.h"
#include "ServerOutput.h"
#include "SessionOutput.h"
#include "sessions/SessionManager.h"

QCoro::Task<int> runSessionsCommand(QStringList arguments, CliIO io)
{
    CliParser parser(QStringLiteral("sessions"),
                     QStringLiteral("Lists the Claude Code sessions running for this user, with their\n"
                                    "directory, terminal, shell, tty and the conversation they resume."));
    parser.addOption({QStringLiteral("json"), QStringLiteral("Print a JSON list instead of text.")});
    if (const auto exit = parser.parse(arguments, io))
        co_return *exit;
    if (!parser.positionalArguments().isEmpty())
        co_return parser.usageError(
            io, QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));

    SessionManager manager;
    co_await manager.refreshSessions();
    const QList<ClaudeSession> &sessions = manager.sessionSnapshots();

    if (parser.isSet(QStringLiteral("json"))) {
        io.out << ServerOutput::toQString(SessionOutput::sessionsJson(sessions)) << '\n';
    } else if (sessions.isEmpty()) {
        io.out << "No Claude Code sessions running.\n";
    } else {
        for (const ClaudeSession &session : sessions)
            io.out << SessionOutput::sessionLine(session) << '\n';
    }
    co_return ExitCode::ok;
}
