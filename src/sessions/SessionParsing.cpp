#include "sessions/SessionParsing.h"

#include "platform/HexDigit.h"
#include "platform/Utf8Text.h"

#include <QRegularExpression>

#include <algorithm>
#include <limits>

namespace SessionParsing {

namespace {

bool isSpaceOrTab(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

QStringList splitAtSpacesAndTabs(const QString &line)
{
    QStringList pieces;
    qsizetype start = -1;
    for (qsizetype i = 0; i <= line.size(); ++i) {
        const bool separator = i == line.size() || isSpaceOrTab(line.at(i));
        if (separator && start >= 0) {
            pieces.append(line.mid(start, i - start));
            start = -1;
        } else if (!separator && start < 0) {
            start = i;
        }
    }
    return pieces;
}

const QStringList &knownShellNames()
{
    static const QStringList names{QStringLiteral("zsh"), QStringLiteral("bash"), QStringLiteral("sh"),
                                   QStringLiteral("fish"), QStringLiteral("login")};
    return names;
}

QString lastComponent(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// The script node or bun runs: the first argument after the interpreter that is not an option.
QString scriptOf(const QStringList &arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (!arguments.at(i).startsWith(QLatin1Char('-')))
            return arguments.at(i);
    }
    return {};
}

bool isClaudeCodeScript(const QString &script)
{
    return script == QLatin1String("claude") || script.endsWith(QLatin1String("/claude")) ||
           script.contains(QLatin1String("/@anthropic-ai/claude-code/"));
}

// ".../claude/versions/<version>" named after its version (Linux keeps 15 characters of it).
bool isNativeInstall(const QString &name, const QString &executable)
{
    static const QRegularExpression versioned(QStringLiteral("/claude/versions/([^/]+)\\z"));
    const QRegularExpressionMatch match = versioned.match(executable);
    if (!match.hasMatch())
        return false;
    const QString version = match.captured(1);
    return name == executable || name == version || (name.size() == 15 && version.startsWith(name));
}

// The package's own executable started by its path.
bool isPackagedExecutable(const QString &executable)
{
    const QString file = lastComponent(executable);
    return executable.contains(QLatin1String("/@anthropic-ai/claude-code/")) &&
           (file == QLatin1String("claude") || file == QLatin1String("claude.exe"));
}

// lsof writes a backslash as "\\", other bytes it does not print as "\xNN", and a few control
// characters in C style.
QByteArray undoLsofEscapes(const QByteArray &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c != '\\' || i + 1 >= text.size()) {
            bytes.append(c);
            continue;
        }
        const char next = text.at(i + 1);
        static constexpr std::pair<char, char> named[] = {{'\\', '\\'}, {'b', '\b'}, {'f', '\f'},
                                                          {'n', '\n'},  {'r', '\r'}, {'t', '\t'}};
        const auto *found = std::find_if(std::begin(named), std::end(named),
                                         [next](const auto &pair) { return pair.first == next; });
        if (found != std::end(named)) {
            bytes.append(found->second);
            ++i;
        } else if (next == 'x' && i + 3 < text.size() && hexDigitValue(text.at(i + 2)) >= 0 &&
                   hexDigitValue(text.at(i + 3)) >= 0) {
            bytes.append(char(hexDigitValue(text.at(i + 2)) * 16 + hexDigitValue(text.at(i + 3))));
            i += 3;
        } else {
            bytes.append(c);
        }
    }
    return bytes;
}

std::optional<QString> valueOf(const QStringList &environment, QLatin1String name)
{
    for (const QString &entry : environment) {
        if (entry.size() > name.size() && entry.startsWith(name) && entry.at(name.size()) == QLatin1Char('='))
            return entry.mid(name.size() + 1);
    }
    return std::nullopt;
}

} // namespace

std::optional<qint64> parseDecimal(const QString &text)
{
    qsizetype i = 0;
    bool negative = false;
    if (!text.isEmpty() && (text.at(0) == QLatin1Char('+') || text.at(0) == QLatin1Char('-'))) {
        negative = text.at(0) == QLatin1Char('-');
        i = 1;
    }
    if (i == text.size())
        return std::nullopt;
    // Accumulate negatively so that the minimum value parses too.
    qint64 value = 0;
    constexpr qint64 minimum = std::numeric_limits<qint64>::min();
    for (; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const int digit = c - u'0';
        if (value < (minimum + digit) / 10)
            return std::nullopt;
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == minimum)
            return std::nullopt;
        value = -value;
    }
    return value;
}

std::optional<ProcessInfo> parseProcessLine(const QString &line)
{
    const QStringList pieces = splitAtSpacesAndTabs(line);
    if (pieces.size() < 3)
        return std::nullopt;
    const auto pid = parseDecimal(pieces.at(0));
    if (!pid)
        return std::nullopt;
    return ProcessInfo{*pid, parseDecimal(pieces.at(1)).value_or(0), pieces.at(2), QString(), pieces.mid(3)};
}

bool isClaudeCode(const ProcessInfo &process)
{
    const QString &name = process.name;
    if (name == QLatin1String("claude") || name.endsWith(QLatin1String("/claude")))
        return true;
    const QString base = lastComponent(name);
    if (base == QLatin1String("node") || base == QLatin1String("bun"))
        return isClaudeCodeScript(scriptOf(process.arguments));
    const QString executable = process.executable.isEmpty() ? name : process.executable;
    return isNativeInstall(name, executable) || isPackagedExecutable(executable);
}

QString workingDirectoryFromLsof(const QString &output)
{
    for (const QString &line : output.split(QLatin1Char('\n'))) {
        if (!line.startsWith(QLatin1Char('n')))
            continue;
        const QByteArray bytes = undoLsofEscapes(line.mid(1).toUtf8());
        const QString directory = textFromUtf8(bytes);
        return directory.toUtf8() == bytes ? directory : QString();
    }
    return {};
}

QStringList wordsOfListing(const QString &listing)
{
    static const QRegularExpression whitespace(QStringLiteral("\\s+"));
    return listing.split(whitespace, Qt::SkipEmptyParts);
}

bool isKnownShell(const QString &name)
{
    QString shell = lastComponent(name.trimmed());
    qsizetype begin = 0;
    qsizetype end = shell.size();
    while (begin < end && shell.at(begin) == QLatin1Char('-'))
        ++begin;
    while (end > begin && shell.at(end - 1) == QLatin1Char('-'))
        --end;
    return knownShellNames().contains(shell.mid(begin, end - begin));
}

std::optional<QString> ttyFromPs(const QString &output)
{
    const QString tty = output.trimmed();
    if (tty.isEmpty() || tty == QLatin1String("??") || tty == QLatin1String("?"))
        return std::nullopt;
    if (tty.startsWith(QLatin1String("/dev/")))
        return tty;
    return QStringLiteral("/dev/") + tty;
}

std::optional<QString> warpFocusURLFromEnvironment(const QStringList &environment)
{
    const auto value = valueOf(environment, QLatin1String("WARP_FOCUS_URL"));
    if (!value || !value->trimmed().startsWith(QLatin1String("warp://")))
        return std::nullopt;
    return value->trimmed();
}

std::optional<TerminalType> terminalFromEnvironment(const QStringList &environment)
{
    // tmux goes first: it keeps the TERM_PROGRAM of the terminal it runs in for its panes.
    static const std::pair<QLatin1String, TerminalType> programs[] = {
        {QLatin1String("tmux"), TerminalType::tmux},
        {QLatin1String("WarpTerminal"), TerminalType::warp},
        {QLatin1String("Apple_Terminal"), TerminalType::terminal},
        {QLatin1String("iTerm.app"), TerminalType::iterm2},
        {QLatin1String("vscode"), TerminalType::vscode},
    };
    for (const auto &[program, type] : programs) {
        if (environment.contains(QLatin1String("TERM_PROGRAM=") + program))
            return type;
    }
    if (valueOf(environment, QLatin1String("WARP_CLIENT_VERSION")))
        return TerminalType::warp;
    return std::nullopt;
}

std::optional<QString> tmuxSocketFromEnvironment(const QStringList &environment)
{
    const auto value = valueOf(environment, QLatin1String("TMUX"));
    if (!value)
        return std::nullopt;
    const QString socket = value->section(QLatin1Char(','), 0, 0);
    return socket.isEmpty() ? std::nullopt : std::optional(socket);
}

bool isUUID(const QString &text)
{
    static const QRegularExpression shape(QRegularExpression::anchoredPattern(
        QStringLiteral("[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12}")));
    return shape.match(text).hasMatch();
}

std::optional<QString> resumeIDFromArguments(const QStringList &arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments.at(i) != QLatin1String("--resume") && arguments.at(i) != QLatin1String("-r"))
            continue;
        if (i + 1 < arguments.size() && isUUID(arguments.at(i + 1)))
            return arguments.at(i + 1);
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace SessionParsing
