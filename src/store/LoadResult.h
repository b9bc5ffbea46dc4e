#pragma once

#include "store/MCPProject.h"
#include "store/MCPSource.h"

#include <QSet>

// A source a load could not read: the file and a message that names it and says why. The other
// sources are still loaded; `list` and the panel show these beside what could be read.
struct SourceError
{
    QString file;
    QString message;

    bool operator==(const SourceError &) const = default;
};

// Everything one load of all sources yields.
struct LoadResult
{
    QList<MCPServerEntry> global;
    QList<MCPServerEntry> desktop;
    QList<MCPServerEntry> managed;
    QList<MCPProject> projects;
    QSet<GlobalServerID> disabledIDs;
    // What a Claude Code session outside every listed project loads: user and managed servers.
    QList<ClaudeCodeRules::ServerLoad> loads;
    QList<SourceError> errors; // in the order the files were read, each file once

    bool operator==(const LoadResult &) const = default;
};

// The files one load reads.
struct ConfigPaths
{
    QString claudeJsonPath;
    QString desktopConfigPath;
    QString managedConfigPath;
    QString disabledGlobalConfigPath;

    // The paths of the current user (from HOME and the platform's folders).
    [[nodiscard]] static ConfigPaths forCurrentUser();
};
