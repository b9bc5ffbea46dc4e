#include "probe/StdioProbe.h"

#include "platform/ChildProcess.h"
#include "platform/ShortCommand.h"
#include "probe/ProbeMessages.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QThread>

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

ToolsListScan scanToolsList(QByteArrayView output, bool atEnd)
{
    ToolsListScan scan;
    while (!output.isEmpty()) {
        const qsizetype newline = output.indexOf('\n');
        if (newline < 0 && !atEnd)
            break;
        const QByteArrayView line = newline < 0 ? output : output.first(newline);
        output = newline < 0 ? QByteArrayView() : output.sliced(newline + 1);
        if (!ProbeMessages::isValidUtf8(line)) {
            scan.invalid = true;
            return scan;
        }
        if (const auto response = ProbeMessages::responseTo(line, ProbeMessages::toolsListId)) {
            scan.answered = true;
            scan.tools = ProbeMessages::toolsOf(*response);
            if (scan.tools)
                scan.toolsBytes = ProbeMessages::writeCompact(*scan.tools).size();
            return scan;
        }
    }
    return scan;
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
    return measureStdio(entry).tokensPerMessage;
}

ProbeResult measureStdio(const MCPServerEntry &entry)
{
    const auto executable = resolveExecutable(entry.command);
    if (!executable)
        return {};
    const auto child = ChildProcess::start(*executable, entry.args.value_or(QStringList{}),
                                           childEnvironment(entry.env), true);
    if (!child)
        return {};

    sendMessage(ProbeMessages::initializeRequest(), *child);
    QThread::msleep(ulong(initializePause.count()));
    sendMessage(ProbeMessages::initializedNotification(), *child);
    QThread::msleep(ulong(initializedPause.count()));
    sendMessage(ProbeMessages::toolsListRequest(), *child);

    const QDeadlineTimer deadline(readDeadline);
    // The watchdog: a read never blocks past this moment, after which the child is ended.
    const QDeadlineTimer watchdog(watchdogDelay);
    QByteArray buffer;
    // Only whole lines are looked at, each once: a server writing much before its reply (or one
    // long line in many pieces) would otherwise cost a scan of everything so far on every read.
    qsizetype checked = 0;
    ToolsListScan scan;
    bool atEnd = false;
    while (!deadline.hasExpired() && buffer.size() <= outputLimit) {
        const auto status = child->read(buffer, std::chrono::milliseconds(watchdog.remainingTime()));
        atEnd = status != ChildProcess::ReadStatus::data;
        if (atEnd)
            break;
        const qsizetype complete = buffer.lastIndexOf('\n') + 1;
        scan = scanToolsList(QByteArrayView(buffer).sliced(checked, complete - checked), false);
        checked = complete;
        if (scan.answered || scan.invalid)
            break;
    }
    child->terminate();
    // The last line may lack its line break when the output ended.
    if (!scan.answered && !scan.invalid && atEnd)
        scan = scanToolsList(QByteArrayView(buffer).sliced(checked), true);
    if (scan.invalid || !scan.tools)
        return {};
    return ProbeMessages::measureTools(*scan.tools);
}

} // namespace StdioProbe
