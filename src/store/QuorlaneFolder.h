#pragma once

#include <QByteArray>
#include <QString>

// Quorlane's own folder holds copies of server definitions, which can carry secrets (an "env"
// token, an "Authorization" header): the folder is private to the user (0700) and every file in
// it that can hold a definition is 0600.
namespace QuorlaneFolder {

// Creates `folder` and its missing parents; the folder itself ends up 0700 even when an older
// version created it open to everyone. Throws FileSystemError.
void ensurePrivate(const QString &folder);

// The one writer of Quorlane's own files (stash, records, profiles, probe cache): replaces `path`
// atomically with `bytes` (a synced temporary file renamed into place), readable and writable by
// the owner only (an existing stricter mode is kept). Creates the private folder first. Throws
// FileSystemError naming the path. Other programs' files go through the exchange-and-compare
// rewrite instead (AtomicFile::replaceIfUnchanged).
void writePrivately(const QString &path, const QByteArray &bytes);

} // namespace QuorlaneFolder
