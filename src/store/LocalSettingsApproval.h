#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Approving a folder's .mcp.json server where Claude Code's own approval prompt records it: the
// folder's .claude/settings.local.json, its name in "enabledMcpjsonServers" (and out of
// "disabledMcpjsonServers"). The folder's trust ("hasTrustDialogAccepted") is Claude Code's
// question to ask and is never written.
//
// The file is Claude Code's (and the user's): only the two lists are touched, spliced into the
// text so that every other byte, formatting and key order included, stays as it was. It is
// replaced atomically and compared with what was read (a write in between is kept and the edit
// redone on it). A symbolic link, a FIFO, a device or a folder at its place is refused: the
// folder may be a cloned repository that put it there.
namespace LocalSettingsApproval {

[[nodiscard]] QString pathFor(const QString &projectPath);

// Throws FileSystemError, with nothing changed, when the file (or its .claude folder) is not a
// regular one, is not a JSON object, or holds one of the lists as something other than a list.
void approve(const QString &projectPath, const QString &name);

// The text `approve` writes in place of `bytes` (nullopt: no file yet); nullopt when nothing
// changes. Throws QuorlaneError for the shapes approve refuses, naming `path`.
[[nodiscard]] std::optional<QByteArray> approved(const std::optional<QByteArray> &bytes, const QString &path,
                                                 const QString &name);

} // namespace LocalSettingsApproval
