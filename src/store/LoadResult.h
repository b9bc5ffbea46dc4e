#pragma once

#include "MCPProject.h"
#include "MCPSource.h"

#include <QSet>

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
