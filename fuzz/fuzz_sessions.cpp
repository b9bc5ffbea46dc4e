// The parsers of ps and lsof output, which describe processes anyone on the machine can name:
// a path escaped the way lsof escapes it comes back whole, numbers are read exactly when they
// fit and refused otherwise, and what the parsers hand on has the shape their callers rely on.
#include "FuzzSupport.h"
#include "platform/Utf8Text.h"
#include "sessions/SessionParsing.h"

#include <QStringList>

#include <algorithm>
#include <limits>

namespace {

// lsof -Fn: a backslash doubled, a few control characters in C style, other unprintable bytes
// (and every byte of a non-ASCII character) as \xNN.
QByteArray lsofEscaped(const QByteArray &path)
{
    QByteArray out;
    for (const char c : path) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (b < 0x20 || b >= 0x7F)
            out += "\\x" + QByteArray::number(b, 16).rightJustified(2, '0');
        else
            out += c;
    }
    return out;
}

void checkDecimal(const QString &text)
{
    const auto value = SessionParsing::parseDecimal(text);
    // Exactly: an optional sign, then digits whose value fits 64 bits.
    qsizetype i = (text.startsWith(u'+') || text.startsWith(u'-')) ? 1 : 0;
    const bool negative = text.startsWith(u'-');
    bool fits = i < text.size();
    __int128 exact = 0;
    for (; fits && i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        fits = c >= u'0' && c <= u'9';
        exact = std::min<__int128>(exact * 10 + (c - u'0'), (__int128)1 << 70);
    }
    exact = negative ? -exact : exact;
    fits = fits && exact >= std::numeric_limits<qint64>::min() && exact <= std::numeric_limits<qint64>::max();
    if (value.has_value() != fits || (value && *value != exact))
        FuzzSupport::fail("a decimal is read exactly when it fits", text.toStdString());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = QString::fromUtf8(bytes);

    checkDecimal(text.left(40));
    for (const QString &line : text.split(u'\n')) {
        if (const auto process = SessionParsing::parseProcessLine(line)) {
            if (process->name.isEmpty() || process->name.contains(u' ') ||
                process->arguments.contains(QString()))
                FuzzSupport::fail("a process line splits into fields", line.toStdString());
            (void)SessionParsing::isClaudeCode(*process);
            if (const auto id = SessionParsing::resumeIDFromArguments(process->arguments);
                id && !SessionParsing::isUUID(*id))
                FuzzSupport::fail("a resumed id is a UUID", id->toStdString());
        }
    }

    // Any path without a newline or a NUL, in valid UTF-8, comes back from lsof's escaping; a
    // leading byte-order mark is part of the name like any other character.
    const QByteArray path = bytes.left(bytes.indexOf('\n') < 0 ? bytes.size() : bytes.indexOf('\n'));
    const QString directory = SessionParsing::workingDirectoryFromLsof(
        QStringLiteral("p42\nfcwd\nn") + QString::fromLatin1(lsofEscaped(path)) + QStringLiteral("\n"));
    const bool valid = textFromUtf8(path).toUtf8() == path;
    if (valid && directory.toUtf8() != path)
        FuzzSupport::fail("an escaped path comes back", path.toStdString());
    if (!valid && !directory.isEmpty())
        FuzzSupport::fail("a path that is not UTF-8 is refused", path.toStdString());
    (void)SessionParsing::workingDirectoryFromLsof(text);

    const QStringList words = SessionParsing::wordsOfListing(text);
    if (words.contains(QString()))
        FuzzSupport::fail("a listing has no empty words", text.toStdString());
    (void)SessionParsing::warpFocusURLFromEnvironment(words);
    (void)SessionParsing::terminalFromEnvironment(words);
    if (const auto socket = SessionParsing::tmuxSocketFromEnvironment(words); socket && socket->isEmpty())
        FuzzSupport::fail("a tmux socket is named", text.toStdString());
    if (const auto tty = SessionParsing::ttyFromPs(text); tty && !tty->startsWith(QStringLiteral("/dev/")))
        FuzzSupport::fail("a terminal is a device path", tty->toStdString());
    (void)SessionParsing::isKnownShell(text);
    return 0;
}
