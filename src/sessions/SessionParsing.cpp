#include "SessionParsing.h"

#include <QRegularExpression>

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

std::optional<ProcessLine> parseProcessLine(const QString &line)
{
    const QStringList pieces = splitAtSpacesAndTabs(line);
    if (pieces.size() < 3)
        return std::nullopt;
    const auto pid = parseDecimal(pieces.at(0));
    if (!pid)
        return std::nullopt;
    return ProcessLine{*pid, pieces.at(2), pieces.mid(3).join(QLatin1Char(' '))};
}

bool isCandidate(const ProcessLine &line)
{
    return line.command.endsWith(QLatin1String("claude")) || line.arguments.contains(QLatin1String("claude"));
}

QString workingDirectoryFromLsof(const QString &output)
{
    for (const QString &line : output.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1Char('n')))
            return line.mid(1);
    }
    return {};
}

std::optional<qint64> parentForWalk(const QString &output, qint64 current)
{
    const auto parent = parseDecimal(output.trimmed());
    if (!parent || *parent < 2 || *parent == current)
        return std::nullopt;
    return parent;
}

std::optional<qint64> parentForShell(const QString &output)
{
    const auto parent = parseDecimal(output.trimmed());
    if (!parent || *parent <= 1)
        return std::nullopt;
    return parent;
}

bool isKnownShell(const QString &output)
{
    QString name = output.trimmed();
    name = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
    qsizetype begin = 0;
    qsizetype end = name.size();
    while (begin < end && name.at(begin) == QLatin1Char('-'))
        ++begin;
    while (end > begin && name.at(end - 1) == QLatin1Char('-'))
        --end;
    return knownShellNames().contains(name.mid(begin, end - begin));
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

std::optional<QString> warpFocusURLFromListing(const QString &listing)
{
    static const QLatin1String marker("WARP_FOCUS_URL=");
    const qsizetype at = listing.indexOf(marker);
    if (at < 0)
        return std::nullopt;
    const qsizetype start = at + marker.size();
    qsizetype end = start;
    while (end < listing.size() && !listing.at(end).isSpace())
        ++end;
    const QString value = listing.mid(start, end - start).trimmed();
    if (!value.startsWith(QLatin1String("warp://")))
        return std::nullopt;
    return value;
}

std::optional<TerminalType> terminalFromEnvironment(const QString &listing)
{
    static const std::pair<QLatin1String, TerminalType> markers[] = {
        {QLatin1String("TERM_PROGRAM=tmux"), TerminalType::tmux},
        {QLatin1String("TERM_PROGRAM=WarpTerminal"), TerminalType::warp},
        {QLatin1String("TERM_PROGRAM=Apple_Terminal"), TerminalType::terminal},
        {QLatin1String("TERM_PROGRAM=iTerm.app"), TerminalType::iterm2},
        {QLatin1String("TERM_PROGRAM=vscode"), TerminalType::vscode},
        {QLatin1String("WARP_CLIENT_VERSION"), TerminalType::warp},
    };
    for (const auto &[marker, type] : markers) {
        if (listing.contains(marker))
            return type;
    }
    return std::nullopt;
}

std::optional<QString> tmuxSocketFromListing(const QString &listing)
{
    // A whole variable, not the tail of another one such as MY_TMUX=.
    static const QRegularExpression variable(QStringLiteral("(?:^|\\s)TMUX=([^\\s,]+)"));
    const QRegularExpressionMatch match = variable.match(listing);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1);
}

std::optional<QString> resumeIDFromArguments(const QString &arguments)
{
    const QStringList pieces = arguments.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (pieces.at(i) != QLatin1String("--resume") && pieces.at(i) != QLatin1String("-r"))
            continue;
        if (i + 1 >= pieces.size())
            return std::nullopt;
        const QString &candidate = pieces.at(i + 1);
        if (candidate.split(QLatin1Char('-'), Qt::SkipEmptyParts).size() != 5)
            return std::nullopt;
        return candidate;
    }
    return std::nullopt;
}

QString encodedProjectDirectory(const QString &workingDirectory)
{
    QString encoded = workingDirectory;
    return encoded.replace(QLatin1Char('/'), QLatin1Char('-'));
}

} // namespace SessionParsing
