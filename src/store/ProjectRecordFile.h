#pragma once

#include "QuorlaneProjectConfig.h"

// Where a project's record lives and how it is found: under a name no other project can have,
// else under the name older versions gave it (a record that names no other project), else in
// the legacy file inside the project folder. Records found in an older place are moved to the
// current one by a holder of the QuorlaneLock.
namespace ProjectRecordFile {

// <application support>/Quorlane/projects/<readable name>-<16 hex digits of SHA-256 of the exact
// path>.json. The readable part is the path without its leading "/", every "/" turned into "-",
// cut to 100 characters.
[[nodiscard]] QString sidecarPath(const QString &projectPath);
// The name older versions used: "/x/a-b" and "/x/a/b" both gave "x-a-b.json".
[[nodiscard]] QString olderSidecarPath(const QString &projectPath);
// <project>/.claude.quorlane.json
[[nodiscard]] QString legacyPath(const QString &projectPath);

// For switches: the caller holds the QuorlaneLock. Throws QuorlaneError naming the file when a
// record exists but cannot be read or decoded (it is left exactly as it is, and no server of the
// project may be switched until the user repairs or removes it). A record found in an older
// place is written to its current place, and the older file removed, before it is returned.
[[nodiscard]] QuorlaneProjectConfig loadForChange(const QString &projectPath);

// For readers that must not fail: the empty record when none can be read. Moves a record from
// an older place only when the QuorlaneLock is free at that moment.
[[nodiscard]] QuorlaneProjectConfig loadForReading(const QString &projectPath);

// Writes the record (stamped with the project path) to its current place, 0600, then removes
// the legacy file of the project. The caller holds the QuorlaneLock. Throws FileSystemError.
void save(QuorlaneProjectConfig &record, const QString &projectPath);

} // namespace ProjectRecordFile
