#pragma once

#include "probe/ProbeMessages.h"
#include "store/MCPServerEntry.h"

#include <QByteArray>
#include <QByteArrayView>
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

// Starts the server, performs the handshake and measures its tool list. Takes about 1.8 s for a
// prompt server and at most about 24 s for one that never answers.
[[nodiscard]] ProbeResult measureStdio(const MCPServerEntry &entry);
// Its tokens per message (at least 1500).
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

// The server's output read line by line up to the response to the tool-list request: the first
// line that is a response with that request's id. Whatever follows it (a second answer, a flood
// of lines that look like tool lists) is ignored, so a server is measured by one answer only.
struct ToolsListScan
{
    bool answered = false;               // the response arrived (a result or an error): reading may stop
    bool invalid = false;                // a line up to it is not UTF-8: the output is not to be believed
    qint64 toolsBytes = 0;               // the compact size of its "result"."tools"; 0 when it carries none
    std::optional<nlohmann::json> tools; // that array
};

// Scans the lines of `output` that end in "\n", and the unfinished last one too when `atEnd`.
[[nodiscard]] ToolsListScan scanToolsList(QByteArrayView output, bool atEnd);

// The child's environment: ours with the search directories in front of PATH, then the
// server's own variables over it. "NAME=value" texts.
[[nodiscard]] QStringList childEnvironment(const std::optional<QMap<QString, QString>> &serverEnv);

} // namespace StdioProbe
