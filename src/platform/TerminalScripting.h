#pragma once

#include <QString>

// Running AppleScript, the bridge to Terminal, iTerm2, Warp, VS Code and System Events.
namespace TerminalScripting {

// The program that runs a script given on its standard input: /usr/bin/osascript on macOS. Linux
// has none, so terminals reached only through AppleScript cannot be scripted there; the
// QUORLANE_OSASCRIPT variable, or an `osascript` on PATH, stands in for it (tests use one that
// records the script). Empty when there is none.
QString osascriptProgram();

// Runs one script to its end and discards its result. A failure is written to the session log
// as "AppleScript failed: " plus the error. Blocking.
void runAppleScript(const QString &script);

} // namespace TerminalScripting
