#pragma once

#include <QString>

// Running AppleScript, the bridge to Terminal, iTerm2, Warp, VS Code and System Events.
namespace TerminalScripting {

// The program that runs a script given on its standard input. The QUORLANE_OSASCRIPT variable
// names it on every system (tests use one that records the script). Otherwise /usr/bin/osascript
// on macOS; Linux has none, so an `osascript` on PATH stands in, and without one terminals
// reached only through AppleScript cannot be scripted there. Empty when there is none.
QString osascriptProgram();

// Whether scripts from this process may drive the application with the bundle identifier
// `application`. On macOS this is the Automation permission: the first time, the system asks the
// user and this call waits for the answer, so it runs on a worker. Elsewhere, whether there is
// a program to run scripts at all. Blocking.
[[nodiscard]] bool mayAutomate(const QString &application);

// Whether this process may type into other applications (System Events keystrokes): on macOS
// the accessibility trust, which the first call in the process asks the user for with the
// system's prompt (not waiting for the answer). Elsewhere, always.
[[nodiscard]] bool mayTypeKeystrokes();

// Runs one script to its end and discards its result. A failure is written to the session log
// as "AppleScript failed: " plus the error. Blocking.
void runAppleScript(const QString &script);

} // namespace TerminalScripting
