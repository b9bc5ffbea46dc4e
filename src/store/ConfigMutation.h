#pragma once

#include "store/ConfigFormats.h"
#include "store/Fingerprint.h"
#include "store/MCPSource.h"
#include "store/SourceCache.h"

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
// `written` is the digest of the text our rewrite put in the live file: while the file still holds
// that, the server's presence there is what the rewrite made it, and the file (tens of
// megabytes) is compared in small pieces instead of being read and parsed again.
// `held` is set when the file was found holding exactly `written`, with the stamp it had.
[[nodiscard]] bool verifyMutation(const QString &name, MCPSource source, bool enabled,
                                  const QString &livePath, const QString &stashPath,
                                  const std::optional<Fingerprint::Digest> &written = {},
                                  std::optional<KnownStamp> *held = nullptr);

// Whether the live file's "mcpServers" object has the member; nullopt when the bytes are not an
// object with an object "mcpServers".
[[nodiscard]] std::optional<bool> liveHasServer(const QByteArray &bytes, const std::string &name);
// The same for the file at `livePath` as it is now; told from the loader's view of it while the
// file has not changed since (a look after a switch then costs no reading of a large file).
// Throws FileSystemError when the file is there but cannot be read.
[[nodiscard]] std::optional<bool> isLiveNow(const QString &livePath, MCPSource source,
                                            const std::string &name);

// Puts the exact prior bytes back, or removes the file when there was none. Throws
// FileSystemError.
void restoreFile(const std::optional<QByteArray> &prior, const QString &path);

// The user-facing text of any error that reached a rollback.
[[nodiscard]] QString describe(const std::exception_ptr &error);

} // namespace ConfigMutation
