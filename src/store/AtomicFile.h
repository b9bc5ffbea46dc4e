#pragma once

#include <QByteArray>
#include <QString>

#include "store/FileStamp.h"
#include "store/Fingerprint.h"

#include <functional>
#include <optional>
#include <sys/types.h>

// Replacing files so that a reader never sees half a file and no other writer's change is lost.
// Every write goes to a synced temporary file next to the target, which then takes the target's
// place in one step. Failures throw FileSystemError with the system's reason and the path.
namespace AtomicFile {

enum class Access
{
    keep,    // the file keeps its mode, owner and group; a new file is private to its owner
    private_ // 0600 at most (a stricter existing mode is kept): the file can hold secrets
};

// Replaces (or creates) the file at `path`. A symbolic link is followed: its target is replaced.
void replace(const QString &path, const QByteArray &bytes, Access access = Access::keep);

// The new content of a file, written to a synced temporary file beside it while it is made (the
// text of ~/.claude.json is tens of megabytes: it is never held whole). Nothing changes at the
// path until a commit; a replacement that is not committed leaves nothing behind. Failures
// throw FileSystemError naming the path.
class Replacement
{
public:
    explicit Replacement(const QString &path, Access access = Access::keep);
    ~Replacement();
    Replacement(const Replacement &) = delete;
    Replacement &operator=(const Replacement &) = delete;

    void append(const char *data, std::size_t size);
    // Syncs the content to disk; then one of the commits.
    void finish();
    [[nodiscard]] const Fingerprint::Digest &digest() const { return m_digest; }

    void commit();
    // As replaceIfUnchanged below: `expected` is what the caller read, or its digest.
    [[nodiscard]] bool commitIfUnchanged(const QByteArray &expected);
    [[nodiscard]] bool commitIfUnchanged(const Fingerprint::Digest &expected);

    // After a commit: the stamp the file had as ours, and from when its content was known.
    [[nodiscard]] const std::optional<KnownStamp> &placedStamp() const { return m_placed; }

private:
    void discard();
    void placed(std::int64_t knownAt);
    bool commitIfUnchanged(std::uint64_t expectedSize,
                           const std::function<bool(const QString &path)> &holdsExpected);

    QString m_shownPath;
    QByteArray m_target;
    QByteArray m_temporary; // empty once gone or in place
    int m_fd = -1;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    Fingerprint m_fingerprint;
    Fingerprint::Digest m_digest;
    std::optional<KnownStamp> m_placed;
};

// The rewrite of another program's file, which that program may write at any moment without
// asking us. The new file is exchanged with the old one in one step; the old one, now under the
// temporary name, is compared with `expected` (what the caller read and edited). When they
// differ, the other program wrote in between: its file is put back (or a still newer one of its
// files is kept), nothing of ours stays, and false is returned so that the caller redoes its
// edit on the new content. Also false when the file is gone.
[[nodiscard]] bool replaceIfUnchanged(const QString &path, const QByteArray &bytes,
                                      const QByteArray &expected);
[[nodiscard]] bool replaceIfUnchanged(const QString &path, const QByteArray &bytes,
                                      const Fingerprint::Digest &expected);

// Whether the file holds exactly `bytes` (or the text of that digest), read a megabyte at a time:
// ~/.claude.json can be tens of megabytes, and a second whole copy of it would double a switch's
// peak memory.
[[nodiscard]] bool holds(const QString &path, const QByteArray &bytes);
[[nodiscard]] bool holds(const QString &path, const Fingerprint::Digest &expected);

// Called with the path after every completed replacement, on the writing thread. For tests that
// check the state of several files at the moment each one changes; empty by default.
void setReplaceObserver(std::function<void(const QString &path)> observer);

} // namespace AtomicFile
