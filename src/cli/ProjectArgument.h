#pragma once

#include "store/MCPProject.h"

#include <QList>
#include <QString>

// A project folder as a user types it after --project: ".", "../app", "~/work/app/", a path
// through a symbolic link.
namespace ProjectArgument {

// Absolute against the current folder, "~" and "~/…" taken from the home, cleaned (no trailing
// "/", no "." or ".." parts). Symbolic links are left as typed.
QString absolutePath(const QString &typed);

// The path of the listed project the user means, exactly as the loader lists it (the key the
// switch must use), or empty when none: the typed text itself, then its absolute form, then
// the same folder with symbolic links resolved on both sides.
QString matchListed(const QString &typed, const QList<MCPProject> &projects);

} // namespace ProjectArgument
