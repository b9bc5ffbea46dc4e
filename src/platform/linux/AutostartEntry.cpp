#include "platform/linux/AutostartEntry.h"

#include "platform/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace AutostartEntry {
namespace {

// Characters that make an Exec argument need double quotes.
bool isReserved(QChar c)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    return reserved.contains(c);
}

// The escapes every string value of a desktop entry goes through before anything else reads it.
QString escapeStringValue(const QString &value)
{
    QString escaped;
    escaped.reserve(value.size());
    for (const QChar c : value) {
        if (c == QLatin1Char('\\'))
            escaped += QLatin1String("\\\\");
        else if (c == QLatin1Char('\n'))
            escaped += QLatin1String("\\n");
        else if (c == QLatin1Char('\t'))
            escaped += QLatin1String("\\t");
        else if (c == QLatin1Char('\r'))
            escaped += QLatin1String("\\r");
        else
            escaped += c;
    }
    return escaped;
}

} // namespace

QString directory()
{
    // On Linux the application-support folder is the XDG config home.
    return Paths::applicationSupportDirectory() + QStringLiteral("/autostart");
}

QString filePath()
{
    return directory() + QStringLiteral("/dev.quorlane.Quorlane.desktop");
}

QString programPath()
{
    const QString appImage = qEnvironmentVariable("APPIMAGE");
    if (QDir::isAbsolutePath(appImage) && QFileInfo(appImage).isFile())
        return appImage;
    if (!QCoreApplication::instance())
        return {};
    return QCoreApplication::applicationFilePath();
}

QString execArgument(const QString &argument)
{
    QString quoted;
    const bool needsQuotes =
        argument.isEmpty() || std::any_of(argument.cbegin(), argument.cend(), isReserved);
    for (const QChar c : argument) {
        if (c == QLatin1Char('%'))
            quoted += QLatin1String("%%"); // a single "%" would start a field code
        else if (needsQuotes && (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                                 c == QLatin1Char('\\')))
            quoted += QLatin1Char('\\') + c;
        else
            quoted += c;
    }
    if (needsQuotes)
        quoted = QLatin1Char('"') + quoted + QLatin1Char('"');
    // Applied last: readers undo the string escapes before they look at the quoting, which is
    // why a backslash inside quotes ends up written as four.
    return escapeStringValue(quoted);
}

QByteArray text(const QString &program)
{
    QString entry;
    entry += QLatin1String("[Desktop Entry]\n");
    entry += QLatin1String("Type=Application\n");
    entry += QLatin1String("Name=Quorlane\n");
    entry += QLatin1String("Comment=Switch the MCP servers of Claude Code and Claude Desktop off and on\n");
    // TryExec lets the session skip the entry quietly once the program has been removed.
    entry += QLatin1String("TryExec=") + escapeStringValue(program) + QLatin1Char('\n');
    entry += QLatin1String("Exec=") + execArgument(program) + QLatin1Char('\n');
    entry += QLatin1String("Icon=dev.quorlane.Quorlane\n");
    entry += QLatin1String("Terminal=false\n");
    entry += QLatin1String("X-GNOME-Autostart-enabled=true\n");
    // The tray is often not up when the session starts its autostart entries: these keys make
    // GNOME, KDE and LXQt start us once their panel is there (we also wait for it ourselves).
    entry += QLatin1String("X-GNOME-Autostart-Delay=2\n");
    entry += QLatin1String("X-KDE-autostart-after=panel\n");
    entry += QLatin1String("X-LXQt-Need-Tray=true\n");
    return entry.toUtf8();
}

bool isEnabled(const QByteArray &text)
{
    bool inMainGroup = false;
    bool sawMainGroup = false;
    bool enabled = true;
    for (const QByteArray &rawLine : text.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
            sawMainGroup = sawMainGroup || inMainGroup;
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!inMainGroup || equals < 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        const QByteArray value = line.mid(equals + 1).trimmed();
        if (key == "Hidden" && value == "true")
            enabled = false;
        if (key == "X-GNOME-Autostart-enabled" && value == "false")
            enabled = false;
    }
    return sawMainGroup && enabled;
}

} // namespace AutostartEntry
