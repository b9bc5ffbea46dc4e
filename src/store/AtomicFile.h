#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

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

// The rewrite of another program's file, which that program may write at any moment without
// asking us. The new file is exchanged with the old one in one step; the old one, now under the
// temporary name, is compared with `expected` (what the caller read and edited). When they
// differ, the other program wrote in between: its file is put back (or a still newer one of its
// files is kept), nothing of ours stays, and false is returned so that the caller redoes its
// edit on the new content. Also false when the file is gone.
[[nodiscard]] bool replaceIfUnchanged(const QString &path, const QByteArray &bytes,
                                      const QByteArray &expected);

// Creates the folder (and missing parents, each private to the user) for files only Quorlane
// reads; an existing folder loses any access for group and others.
// Whether the file holds exactly `bytes`, compared a megabyte at a time: ~/.claude.json can be
// tens of megabytes, and a second whole copy of it would double a switch's peak memory.
[[nodiscard]] bool holds(const QString &path, const QByteArray &bytes);

void createPrivateFolder(const QString &path);

// Called with the path after every completed replacement, on the writing thread. For tests that
// check the state of several files at the moment each one changes; empty by default.
void setReplaceObserver(std::function<void(const QString &path)> observer);

} // namespace AtomicFile
