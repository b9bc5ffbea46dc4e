#pragma once

#include "store/QuorlaneProjectConfig.h"

#include <QHash>
#include <QSet>

#include <optional>

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

// The record files present in Quorlane's records folder, listed once for a whole load. A load
// looks up every project of ~/.claude.json (tens of thousands in a long-used file): asking the
// file system for each project's files cost more than the rest of the load.
class Listing
{
public:
    [[nodiscard]] static Listing now();
    // Whether the records folder holds a file of this name.
    [[nodiscard]] bool holds(const QString &fileName) const { return m_names.contains(fileName); }
    [[nodiscard]] const QString &folder() const { return m_folder; }
    // False when no listed file can be the project's record under either name, told from the
    // readable part of the names alone (no hash of the path is made for the thousands of
    // projects without a record).
    [[nodiscard]] bool mayHoldRecord(const QString &projectPath) const;
    // False when the project folder cannot hold a legacy record because its parent folder,
    // listed once, has no entry of that name (compared without case: a folder on a file system
    // that ignores case is found under any spelling).
    [[nodiscard]] bool mayHoldLegacy(const QString &projectPath) const;

private:
    QString m_folder;
    QSet<QString> m_names;
    QSet<QString> m_readableParts; // the names without ".json" or "-<hash>.json"
    mutable QHash<QString, std::optional<QSet<QString>>> m_parents; // case-folded entries; nullopt: unlisted
};

// For readers that must not fail: the empty record when none can be read. Moves a record from
// an older place only when the QuorlaneLock is free at that moment. With a listing, a record
// file it does not hold is taken as absent without a look. `error` receives why a record that
// exists could not be read (naming its file).
[[nodiscard]] QuorlaneProjectConfig
loadForReading(const QString &projectPath, const Listing *listing = nullptr, QString *error = nullptr);

// Writes the record (stamped with the project path) to its current place, 0600, then removes
// the legacy file of the project. The caller holds the QuorlaneLock. Throws FileSystemError.
void save(QuorlaneProjectConfig &record, const QString &projectPath);

} // namespace ProjectRecordFile
