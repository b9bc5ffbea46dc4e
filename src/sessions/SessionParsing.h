#pragma once

#include "ClaudeSession.h"

#include <QString>

#include <optional>

// The text formats discovery reads: the output of `ps` and `lsof`, in both the BSD shape
// (macOS: "ttys003", "??") and the procps shape (Linux: "pts/3", "?"). Pure functions, so the
// recorded outputs of either system can be fed straight in.
namespace SessionParsing {

// One line of "ps -axo pid,ppid,comm,args".
struct ProcessLine
{
    qint64 pid = 0;
    QString command;
    QString arguments; // pieces 3 and onward joined with single spaces

    bool operator==(const ProcessLine &) const = default;
};

// An optional leading "+" or "-", then ASCII digits only, without overflow.
std::optional<qint64> parseDecimal(const QString &text);

// Skips the header and lines with fewer than three fields.
std::optional<ProcessLine> parseProcessLine(const QString &line);

// A Claude Code process: the command name ends with "claude", or the arguments mention it.
bool isCandidate(const ProcessLine &line);

// The first "n" line of "lsof … -Fn", without its "n"; empty when there is none.
QString workingDirectoryFromLsof(const QString &output);

// The parent id printed by "ps -p <id> -o ppid=", when the walk up the ancestors may go on to
// it: a decimal of at least 2 that is not `current` itself.
std::optional<qint64> parentForWalk(const QString &output, qint64 current);

// The parent id printed by "ps -p <id> -o ppid=", when it is greater than 1.
std::optional<qint64> parentForShell(const QString &output);

// Whether "ps -p <id> -o comm=" names an interactive shell; "-zsh" counts as "zsh".
bool isKnownShell(const QString &output);

// "ps -p <id> -o tty=" as a device path: "ttys003" and "pts/3" gain "/dev/"; "??" and "?"
// mean no controlling terminal.
std::optional<QString> ttyFromPs(const QString &output);

// The WARP_FOCUS_URL value of a "ps eww" listing, when it is a warp:// link.
std::optional<QString> warpFocusURLFromListing(const QString &listing);

// The terminal a "ps eww" listing names through its environment.
std::optional<TerminalType> terminalFromEnvironment(const QString &listing);

// The tmux server socket of a "ps eww" listing: the first field of its TMUX variable.
std::optional<QString> tmuxSocketFromListing(const QString &listing);

// The id after the first "--resume" or "-r", when it has the five dash-separated pieces of a UUID.
std::optional<QString> resumeIDFromArguments(const QString &arguments);

// The folder name Claude Code gives a project's transcripts: every "/" becomes "-".
QString encodedProjectDirectory(const QString &workingDirectory);

} // namespace SessionParsing
