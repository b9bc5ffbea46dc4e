#pragma once

#include "MCPServerEntry.h"
#include "MCPSource.h"

#include <QStringList>

// One project directory with its servers, sorted by name.
struct MCPProject
{
    QString id;   // the project path, exactly as its source spells it
    QString path; // same as id
    QList<MCPServerEntry> servers;
    MCPSource source = MCPSource::project;
    bool isEnabled = true;
    // Names Claude Code itself has switched off for this project ("disabledMcpServers" of its
    // entry in .claude.json): Claude Code does not load them there, whatever Quorlane shows.
    QStringList offInClaudeCode;

    bool operator==(const MCPProject &) const = default;
};

namespace MCPProjects {

// The last component of the project's path ("app" for "/srv/work/app", "" for "/srv/work/").
QString lastPathComponent(const QString &path);

// By the last path component, in code-point order.
void sortByLastComponent(QList<MCPProject> &projects);

} // namespace MCPProjects
