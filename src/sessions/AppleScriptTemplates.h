#pragma once

#include "ClaudeSession.h"

#include <QString>

// The scripts that type a relaunch command into a terminal application. One function per
// script; the arguments are inserted exactly as given, so callers escape the texts that sit
// inside AppleScript string literals first.
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

// The script for a session outside Warp: iTerm2's, VS Code's, or Terminal's (also for
// unknown), the tty variant when the session has a tty.
QString scriptForSession(const ClaudeSession &session);

} // namespace AppleScriptTemplates
