#pragma once

#include "MCPServerEntry.h"

#include <QList>

// One switch of a project server, kept forever in the project's history.
struct ToggleHistoryEntry
{
    QString server;
    QString action; // "disable" or "enable"
    double ts = 0;  // seconds since 1970-01-01 UTC, with fraction

    bool operator==(const ToggleHistoryEntry &) const = default;
};

// The per-project record of switched-off servers, kept in a sidecar file in Quorlane's folder
// (never in the project itself, which may be a shared repository).
struct QuorlaneProjectConfig
{
    QStringList disabled; // in the order they were switched off, no duplicates
    QList<ToggleHistoryEntry> history;
    MCPServerMap stashedConfigs; // definitions taken out of ~/.claude.json while switched off

    bool operator==(const QuorlaneProjectConfig &) const = default;

    // The record of a project; the empty record when none can be read. A legacy file inside the
    // project folder is moved to the sidecar location on first read.
    [[nodiscard]] static QuorlaneProjectConfig load(const QString &projectPath);
    // Throws FileSystemError when the sidecar cannot be written.
    void save(const QString &projectPath) const;

    void recordDisable(const QString &name);
    void recordEnable(const QString &name);

    [[nodiscard]] static std::optional<QuorlaneProjectConfig> decode(const QByteArray &bytes);
    [[nodiscard]] QByteArray encode() const;

    // <application support>/Quorlane/projects/<path without its leading "/", "/" → "-">.json;
    // creates the folder.
    [[nodiscard]] static QString sidecarPath(const QString &projectPath);
    // <project>/.claude.quorlane.json, where older versions kept the record.
    [[nodiscard]] static QString legacyPath(const QString &projectPath);
};
