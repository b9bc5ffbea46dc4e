#pragma once

#include "sessions/ClaudeSession.h"

#include <QString>

#include <optional>

// The command lines a relaunch types into a shell. They run in the user's shell, so nothing
// taken from the session may be able to expand there.
namespace RelaunchCommandLine {

// "cd \"<dir>\"". A directory holding $, a backtick, ", \ or ! is put in POSIX single quotes
// instead ("cd '<dir>'"), which the shell takes literally.
QString directoryLine(const QString &workingDirectory);

// The session's resume id when it has the shape of a UUID; anything else could smuggle an option
// or shell syntax in, and the session restarts as if it had no id.
std::optional<QString> usableResumeID(const ClaudeSession &session);

// "claude --resume <id>", or "claude".
QString claudeCommand(const ClaudeSession &session);

// directoryLine + " && " + claudeCommand.
QString commandLine(const ClaudeSession &session);

} // namespace RelaunchCommandLine
