#pragma once

#include "store/DefinitionOrigin.h"
#include "json/RawJSON.h"

#include <QList>
#include <QMap>
#include <QStringList>

#include <optional>

// One switch of a project server, kept forever in the project's history.
struct ToggleHistoryEntry
{
    QString server;
    QString action; // "disable" or "enable"
    double ts = 0;  // seconds since 1970-01-01 UTC, with fraction

    bool operator==(const ToggleHistoryEntry &) const = default;
};

// A definition taken out while its server is off: kept whole, every member (an "oauth" block
// Claude Code wrote, say), with where it came from.
struct StashedDefinition
{
    RawJSON definition;
    DefinitionOrigin origin = DefinitionOrigin::unknown;

    bool operator==(const StashedDefinition &) const = default;
};

// The per-project record of switched-off servers, kept in a sidecar file in Quorlane's folder
// (never in the project itself, which may be a shared repository).
struct QuorlaneProjectConfig
{
    QString projectPath;  // the exact path the record belongs to; empty in an older version's record
    QStringList disabled; // in the order they were switched off, no duplicates
    QList<ToggleHistoryEntry> history;
    QMap<QString, StashedDefinition> stashedConfigs;

    bool operator==(const QuorlaneProjectConfig &) const = default;

    // The record of a project for readers that must not fail (listing, estimates): the empty
    // record when none can be read. Records of older versions are moved over when no switch is
    // running. Switches read through ProjectRecordFile::loadForChange instead.
    [[nodiscard]] static QuorlaneProjectConfig load(const QString &projectPath);
    // Writes the record under the project's name; the caller holds the QuorlaneLock. Throws
    // FileSystemError.
    void save(const QString &projectPath);

    void recordDisable(const QString &name);
    void recordEnable(const QString &name);

    // Reads this version's layout and the older one (typed definitions, no path, no origins,
    // which then count as unknown). Nullopt for a truncated file or a member of the wrong type.
    [[nodiscard]] static std::optional<QuorlaneProjectConfig> decode(const QByteArray &bytes);
    [[nodiscard]] QByteArray encode() const;

    // <application support>/Quorlane/projects/<readable name>-<hash of the exact path>.json.
    [[nodiscard]] static QString sidecarPath(const QString &projectPath);
    // <project>/.claude.quorlane.json, where older versions kept the record.
    [[nodiscard]] static QString legacyPath(const QString &projectPath);
};
