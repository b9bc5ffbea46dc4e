#pragma once

#include "store/MCPServerEntry.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

class ChildProcess;

// Measuring a server that runs as a local program speaking JSON-RPC on its standard input and
// output: start it, shake hands, ask for its tools, and turn their size into tokens. Every
// failure ends in the fallback estimate; nothing is reported. All of it blocks the calling
// worker thread (never call it on the interface thread).
namespace StdioProbe {

// Where executables are looked for first, and what goes in front of the child's PATH.
[[nodiscard]] const QStringList &searchDirectories();

// Starts the server, performs the handshake and returns tokens per message (at least 1500).
// Takes about 1.8 s for a prompt server and at most about 24 s for one that never answers.
[[nodiscard]] qint64 probeStdio(const MCPServerEntry &entry);

// The executable file a command names: an absolute path as it is, a bare name from the search
// directories, then from `which`. Nullopt when nothing executable is found.
[[nodiscard]] std::optional<QString> resolveExecutable(const QString &command);

// Runs "/bin/bash -c commandLine" (with `positional` as $0, $1, …) as a short command and
// returns its standard output as UTF-8; the empty text when bash cannot start, runs past its
// time limit, or the output is not UTF-8.
[[nodiscard]] QString runShellCommand(const QString &commandLine, const QStringList &positional = {});

// Writes one JSON-RPC message as one line; a failed write is dropped silently.
void sendMessage(const nlohmann::json &message, ChildProcess &child);

// Whether the bytes read so far hold the reply to the tool list: a line containing "id":2
// (exactly so, no space) that carries "result"."tools" as an array of objects.
[[nodiscard]] bool hasToolsListReply(const QByteArray &buffer);

// The summed compact size of every "result"."tools" array on the lines of the output; nullopt
// when the output is not UTF-8.
[[nodiscard]] std::optional<qint64> toolsByteCount(const QByteArray &output);

// The child's environment: ours with the search directories in front of PATH, then the
// server's own variables over it. "NAME=value" texts.
[[nodiscard]] QStringList childEnvironment(const std::optional<QMap<QString, QString>> &serverEnv);

} // namespace StdioProbe
