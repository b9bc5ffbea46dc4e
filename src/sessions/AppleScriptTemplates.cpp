#include "sessions/AppleScriptTemplates.h"
#include "sessions/RelaunchCommandLine.h"

namespace AppleScriptTemplates {

namespace {

// Fills the placeholders in one pass, so an inserted text that happens to hold a placeholder
// stays as it is.
QString fill(const char *templateText, std::initializer_list<std::pair<QLatin1String, QString>> values)
{
    const QString text = QString::fromUtf8(templateText);
    QString result;
    qsizetype i = 0;
    while (i < text.size()) {
        bool replaced = false;
        for (const auto &[marker, value] : values) {
            if (QStringView(text).mid(i).startsWith(marker)) {
                result += value;
                i += marker.size();
                replaced = true;
                break;
            }
        }
        if (!replaced)
            result += text.at(i++);
    }
    return result;
}

const QLatin1String ttyMarker("%TTY%");
const QLatin1String lineMarker("%LINE%");
const QLatin1String urlMarker("%URL%");
const QLatin1String cdMarker("%CD%");
const QLatin1String cmdMarker("%CMD%");

} // namespace

QString escapeForAppleScript(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    escaped.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return escaped;
}

QString terminalScript(const QString &tty, const QString &line)
{
    return fill(R"(tell application "Terminal"
    set didRun to false
    repeat with w in windows
        repeat with t in tabs of w
            try
                if tty of t is "%TTY%" then
                    do script "%LINE%" in t
                    set didRun to true
                end if
            end try
        end repeat
    end repeat
    if not didRun then do script "%LINE%"
end tell)",
                {{ttyMarker, tty}, {lineMarker, line}});
}

QString terminalScriptWithoutTTY(const QString &line)
{
    return fill(R"(tell application "Terminal"
    do script "%LINE%"
end tell)",
                {{lineMarker, line}});
}

QString iTermScript(const QString &tty, const QString &line)
{
    return fill(R"(tell application "iTerm2"
    set didRun to false
    repeat with w in windows
        repeat with t in tabs of w
            repeat with s in sessions of t
                try
                    if tty of s is "%TTY%" then
                        tell s to write text "%LINE%"
                        set didRun to true
                    end if
                end try
            end repeat
        end repeat
    end repeat
    if not didRun then
        tell current window to tell current session of current tab to write text "%LINE%"
    end if
end tell)",
                {{ttyMarker, tty}, {lineMarker, line}});
}

QString iTermScriptWithoutTTY(const QString &line)
{
    return fill(R"(tell application "iTerm2"
    tell current window
        tell current session of current tab
            write text "%LINE%"
        end tell
    end tell
end tell)",
                {{lineMarker, line}});
}

QString vscodeScript(const QString &line)
{
    return fill(R"(tell application "System Events"
    tell process "Code"
        set frontmost to true
        repeat 30 times
            if frontmost then exit repeat
            delay 0.1
        end repeat
        if not frontmost then return "code-not-frontmost"
        keystroke "p" using {command down, shift down}
        delay 0.3
        keystroke "Terminal: Focus Terminal"
        key code 36
        delay 0.3
        keystroke "%LINE%"
        key code 36
        return "typed"
    end tell
end tell)",
                {{lineMarker, line}});
}

QString warpFocusScript(const QString &focusURL, const QString &directoryLine, const QString &command)
{
    return fill(R"(tell application "Warp" to activate
tell application "System Events"
    tell process "Warp"
        set frontmost to true
        repeat 30 times
            if frontmost then exit repeat
            delay 0.1
        end repeat
        if not frontmost then return "warp-not-frontmost"
    end tell
end tell
delay 0.4
do shell script "open " & quoted form of "%URL%"
delay 1.2
tell application "System Events"
    tell process "Warp"
        if not frontmost then return "warp-lost-focus"
        keystroke "%CD%" & return
        delay 0.4
        keystroke "%CMD%" & return
        return "typed"
    end tell
end tell)",
                {{urlMarker, focusURL}, {cdMarker, directoryLine}, {cmdMarker, command}});
}

QString warpNewTabScript(const QString &directoryLine, const QString &command)
{
    return fill(R"(tell application "Warp" to activate
tell application "System Events"
    tell process "Warp"
        set frontmost to true
        repeat 30 times
            if frontmost then exit repeat
            delay 0.1
        end repeat
        if not frontmost then return "warp-not-frontmost"
        delay 0.3
        keystroke "t" using {command down}
        delay 0.7
        keystroke "%CD%" & return
        delay 0.4
        keystroke "%CMD%" & return
        return "typed"
    end tell
end tell)",
                {{cdMarker, directoryLine}, {cmdMarker, command}});
}

QString scriptForSession(const ClaudeSession &session)
{
    const QString line = escapeForAppleScript(RelaunchCommandLine::commandLine(session));
    const std::optional<QString> tty =
        session.tty ? std::optional(escapeForAppleScript(*session.tty)) : std::nullopt;
    switch (session.terminal) {
    case TerminalType::iterm2:
        return tty ? iTermScript(*tty, line) : iTermScriptWithoutTTY(line);
    case TerminalType::vscode:
        return vscodeScript(line);
    default:
        return tty ? terminalScript(*tty, line) : terminalScriptWithoutTTY(line);
    }
}

} // namespace AppleScriptTemplates
