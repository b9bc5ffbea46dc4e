#pragma once

#include "sessions/ClaudeSession.h"

#include <QString>

// The scripts that type a relaunch command into a terminal application. One function per
// script; the arguments are inserted exactly as given, so callers escape every text first (each
// one sits inside an AppleScript string literal).
namespace AppleScriptTemplates {

// Every backslash doubled, then every double quote preceded by a backslash.
QString escapeForAppleScript(const QString &text);

QString terminalScript(const QString &tty, const QString &line);
QString terminalScriptWithoutTTY(const QString &line);
QString iTermScript(const QString &tty, const QString &line);
QString iTermScriptWithoutTTY(const QString &line);
QString vscodeScript(const QString &line);
QString warpFocusScript(const QString &focusURL, const QString &directoryLine, const QString &command);
QString warpNewTabScript(const QString &directoryLine, const QString &command);

// The script for a session outside Warp: iTerm2's, VS Code's, or Terminal's, the tty variant
// when the session has a tty. Its texts are escaped here.
QString scriptForSession(const ClaudeSession &session);

} // namespace AppleScriptTemplates
