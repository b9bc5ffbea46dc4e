#pragma once

#include "sessions/ClaudeSession.h"
#include "sessions/ProcessSource.h"

#include <QString>
#include <QStringList>

#include <optional>

// The rules discovery applies to what it learns about processes, and the text formats of BSD ps
// and lsof (macOS: "ttys003", "??"). Pure functions, so recorded output can be fed straight in.
namespace SessionParsing {

// An optional leading "+" or "-", then ASCII digits only, without overflow.
std::optional<qint64> parseDecimal(const QString &text);

// One line of "ps -axo pid,ppid,comm,args"; skips the header and lines with fewer than three
// fields. The arguments are the fourth field onward, split at spaces.
std::optional<ProcessInfo> parseProcessLine(const QString &line);

// Whether the process is Claude Code itself: a command named "claude" (or ending in "/claude"),
// node or bun running Claude Code's script, or a native install's executable
// (".../claude/versions/<version>", named after its version). Editors, pagers and the commands
// and servers a session starts merely mention claude in their arguments.
bool isClaudeCode(const ProcessInfo &process);

// The first "n" line of "lsof … -Fn", without its "n" and with lsof's escapes undone (a
// backslash, \xNN bytes, \n, \t and the like); empty when there is none or it is not UTF-8.
QString workingDirectoryFromLsof(const QString &output);

// The whitespace-separated words of a "ps eww" listing.
QStringList wordsOfListing(const QString &listing);

// Whether a command name is an interactive shell's; "-zsh" and "/bin/zsh" count as "zsh".
bool isKnownShell(const QString &name);

// "ps -p <id> -o tty=" as a device path: "ttys003" gains "/dev/"; "??" and "?" mean none.
std::optional<QString> ttyFromPs(const QString &output);

// The WARP_FOCUS_URL value of an environment, when it is a warp:// link.
std::optional<QString> warpFocusURLFromEnvironment(const QStringList &environment);

// The terminal an environment names through TERM_PROGRAM or WARP_CLIENT_VERSION.
std::optional<TerminalType> terminalFromEnvironment(const QStringList &environment);

// The tmux server socket of an environment: the first field of its TMUX variable.
std::optional<QString> tmuxSocketFromEnvironment(const QStringList &environment);

// The 8-4-4-4-12 hexadecimal shape of a conversation id. Anything else could be read by
// claude as an option ("--dangerously-skip-permissions") or by a shell as syntax.
bool isUUID(const QString &text);

// The argument after the first "--resume" or "-r", when it is a UUID.
std::optional<QString> resumeIDFromArguments(const QStringList &arguments);

} // namespace SessionParsing
