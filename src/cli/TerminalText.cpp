#include "cli/TerminalText.h"

#include <QStringList>

#include <algorithm>

namespace TerminalText {

namespace {

bool needsEscape(char32_t c)
{
    // Bidirectional overrides and isolates reorder what follows them on screen.
    const bool reordering = (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 || reordering;
}

} // namespace

QString printable(const QString &text)
{
    if (std::none_of(text.cbegin(), text.cend(), [](QChar c) { return needsEscape(c.unicode()); }))
        return text;
    QString shown;
    shown.reserve(text.size());
    for (const char32_t c : text.toUcs4()) {
        if (!needsEscape(c))
            shown.append(QString::fromUcs4(&c, 1));
        else if (c <= 0xFF)
            shown.append(QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0')));
        else
            shown.append(QStringLiteral("\\u{%1}").arg(uint(c), 4, 16, QLatin1Char('0')));
    }
    return shown;
}

QString printableLines(const QString &text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &line : lines)
        line = printable(line);
    return lines.join(QLatin1Char('\n'));
}

} // namespace TerminalText
