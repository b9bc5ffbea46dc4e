#include "sessions/RelaunchCommandLine.h"
#include "sessions/SessionParsing.h"

namespace RelaunchCommandLine {

namespace {

bool needsSingleQuotes(const QString &directory)
{
    for (const QChar c : directory) {
        switch (c.unicode()) {
        case u'$':
        case u'`':
        case u'"':
        case u'\\':
        case u'!':
            return true;
        default:
            break;
        }
    }
    return false;
}

} // namespace

QString directoryLine(const QString &workingDirectory)
{
    if (!needsSingleQuotes(workingDirectory))
        return QStringLiteral("cd \"") + workingDirectory + QLatin1Char('"');
    // Inside single quotes only the quote itself needs care: close, escaped quote, reopen.
    QString quoted = workingDirectory;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QStringLiteral("cd '") + quoted + QLatin1Char('\'');
}

std::optional<QString> usableResumeID(const ClaudeSession &session)
{
    if (!session.resumeID || !SessionParsing::isUUID(*session.resumeID))
        return std::nullopt;
    return session.resumeID;
}

QString claudeCommand(const ClaudeSession &session)
{
    if (const auto id = usableResumeID(session))
        return QStringLiteral("claude --resume ") + *id;
    return QStringLiteral("claude");
}

QString commandLine(const ClaudeSession &session)
{
    return directoryLine(session.workingDirectory) + QStringLiteral(" && ") + claudeCommand(session);
}

} // namespace RelaunchCommandLine
