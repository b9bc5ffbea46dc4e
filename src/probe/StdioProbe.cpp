#include "StdioProbe.h"

#include "ChildProcess.h"
#include "ProbeMessages.h"
#include "ShortCommand.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QThread>

#include <string_view>

using namespace std::chrono_literals;

namespace StdioProbe {
namespace {

// The server gets time to start before the notification, and a moment before the tool list.
constexpr auto initializePause = 1500ms;
constexpr auto initializedPause = 300ms;
// Reading stops at the first read after the deadline; a server that stays silent is ended by
// the watchdog, a little later.
constexpr auto readDeadline = 20s;
constexpr auto watchdogDelay = 22s;
// Tool lists are kilobytes; a server writing more than this before its reply has gone wrong.
constexpr qsizetype outputLimit = 16 << 20;

bool isExecutableFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

// Calls `visit` with each line (without its "\n") of the buffer until it returns true.
template<typename Visit> bool anyLine(const QByteArray &buffer, Visit visit)
{
    const char *begin = buffer.constData();
    const char *const end = begin + buffer.size();
    while (begin < end) {
        const char *newline = static_cast<const char *>(memchr(begin, '\n', size_t(end - begin)));
        const char *lineEnd = newline ? newline : end;
        if (visit(begin, lineEnd))
            return true;
        begin = lineEnd + 1;
    }
    return false;
}

} // namespace

const QStringList &searchDirectories()
{
    static const QStringList directories{QStringLiteral("/opt/homebrew/bin"),
                                         QStringLiteral("/usr/local/bin"), QStringLiteral("/usr/bin"),
                                         QStringLiteral("/bin")};
    return directories;
}

std::optional<QString> resolveExecutable(const QString &command)
{
    if (command.startsWith(QLatin1Char('/')))
        return isExecutableFile(command) ? std::optional(command) : std::nullopt;
    for (const QString &directory : searchDirectories()) {
        const QString candidate = directory + QLatin1Char('/') + command;
        if (isExecutableFile(candidate))
            return candidate;
    }
    // The name goes to the shell as an argument, never as shell code: a configured command
    // such as "x; rm -rf ~" is only ever a strange file name.
    const QString found =
        runShellCommand(
            QStringLiteral("PATH=%1:$PATH which -- \"$1\"").arg(searchDirectories().join(QLatin1Char(':'))),
            {QStringLiteral("_"), command})
            .trimmed();
    if (!found.isEmpty() && isExecutableFile(found))
        return found;
    return std::nullopt;
}

QString runShellCommand(const QString &commandLine, const QStringList &positional)
{
    return ShortCommand::shellOutput(commandLine, positional);
}

void sendMessage(const nlohmann::json &message, ChildProcess &child)
{
    QByteArray line = ProbeMessages::writeCompact(message);
    line.append('\n');
    child.write(line);
}

bool hasToolsListReply(const QByteArray &buffer)
{
    if (!ProbeMessages::isValidUtf8(buffer))
        return false;
    static constexpr std::string_view marker = "\"id\":2";
    return anyLine(buffer, [](const char *begin, const char *end) {
        return std::string_view(begin, size_t(end - begin)).find(marker) != std::string_view::npos &&
               ProbeMessages::toolsOfText(begin, end).has_value();
    });
}

std::optional<qint64> toolsByteCount(const QByteArray &output)
{
    if (!ProbeMessages::isValidUtf8(output))
        return std::nullopt;
    qint64 sum = 0;
    // The id is not examined: every line that carries a tool list adds its size.
    anyLine(output, [&sum](const char *begin, const char *end) {
        if (begin != end) {
            if (const auto tools = ProbeMessages::toolsOfText(begin, end))
                sum += ProbeMessages::writeCompact(*tools).size();
        }
        return false;
    });
    return sum;
}

QStringList childEnvironment(const std::optional<QMap<QString, QString>> &serverEnv)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"), searchDirectories().join(QLatin1Char(':')) + QLatin1Char(':') +
                                                   environment.value(QStringLiteral("PATH")));
    if (serverEnv) {
        for (auto it = serverEnv->cbegin(); it != serverEnv->cend(); ++it)
            environment.insert(it.key(), it.value());
    }
    return environment.toStringList();
}

qint64 probeStdio(const MCPServerEntry &entry)
{
    const auto executable = resolveExecutable(entry.command);
    if (!executable)
        return ProbeMessages::fallbackTokens;
    const auto child = ChildProcess::start(*executable, entry.args.value_or(QStringList{}),
                                           childEnvironment(entry.env), true);
    if (!child)
        return ProbeMessages::fallbackTokens;

    sendMessage(ProbeMessages::initializeRequest(), *child);
    QThread::msleep(ulong(initializePause.count()));
    sendMessage(ProbeMessages::initializedNotification(), *child);
    QThread::msleep(ulong(initializedPause.count()));
    sendMessage(ProbeMessages::toolsListRequest(), *child);

    const QDeadlineTimer deadline(readDeadline);
    // The watchdog: a read never blocks past this moment, after which the child is ended.
    const QDeadlineTimer watchdog(watchdogDelay);
    QByteArray buffer;
    // Lines already looked at are not looked at again: a server writing much before its reply
    // would otherwise cost a scan of everything so far on every read.
    qsizetype checked = 0;
    while (!deadline.hasExpired() && buffer.size() <= outputLimit) {
        const auto status = child->read(buffer, std::chrono::milliseconds(watchdog.remainingTime()));
        if (status != ChildProcess::ReadStatus::data || hasToolsListReply(buffer.sliced(checked)))
            break;
        checked = buffer.lastIndexOf('\n') + 1;
    }
    child->terminate();

    const auto bytes = toolsByteCount(buffer);
    return bytes ? ProbeMessages::estimateTokens(*bytes) : ProbeMessages::fallbackTokens;
}

} // namespace StdioProbe
