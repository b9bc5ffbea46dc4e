#include "RelaunchCommandLine.h"

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

bool isResumeIDCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'-';
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
    if (!session.resumeID || session.resumeID->isEmpty())
        return std::nullopt;
    for (const QChar c : *session.resumeID) {
        if (!isResumeIDCharacter(c))
            return std::nullopt;
    }
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
