#pragma once

#include "ConfigFormats.h"
#include "MCPSource.h"
#include "SourceCache.h"

#include <QByteArray>
#include <QString>

#include <exception>
#include <optional>
#include <string>

// The file steps shared by the switches of servers: writing the stash, reading a change back,
// putting a file back as it was.
namespace ConfigMutation {

// Writes the stash of switched-off global and Claude Desktop servers (compact, atomically, 0600
// in a private folder), creating its folder first. Throws FileSystemError.
void saveDisabledConfig(const DisabledGlobalConfig::Bucket &global,
                        const DisabledGlobalConfig::Bucket &desktop, const QString &stashPath);

// Reads both files back: true when the server is now live and not stashed (switched on) or
// stashed and not live (switched off). False when the live file is no longer an object with an
// object "mcpServers". Throws FileSystemError when a file cannot be read, and
// MCPConfigMutationError::invalidConfiguration when the stash no longer decodes.
// `written` is the text our rewrite put in the live file: while the file still holds exactly
// that, the server's presence there is what the rewrite made it, and the file (tens of
// megabytes) is compared in small pieces instead of being read and parsed again.
// `held` is set when the file was found holding exactly `written`, with the stamp it had.
[[nodiscard]] bool verifyMutation(const QString &name, MCPSource source, bool enabled,
                                  const QString &livePath, const QString &stashPath,
                                  const QByteArray &written = {}, std::optional<KnownStamp> *held = nullptr);

// Whether the live file's "mcpServers" object has the member; nullopt when the bytes are not an
// object with an object "mcpServers".
[[nodiscard]] std::optional<bool> liveHasServer(const QByteArray &bytes, const std::string &name);

// Puts the exact prior bytes back, or removes the file when there was none. Throws
// FileSystemError.
void restoreFile(const std::optional<QByteArray> &prior, const QString &path);

// The user-facing text of any error that reached a rollback.
[[nodiscard]] QString describe(const std::exception_ptr &error);

} // namespace ConfigMutation
