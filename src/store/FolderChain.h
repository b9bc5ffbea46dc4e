#pragma once

#include "store/MCPServerEntry.h"

#include <QHash>

#include <memory>

// The folders from a project folder up to /, looked at once per load: tens of thousands of
// projects share a handful of parents, so each folder is asked about its .mcp.json and its .git
// once, and a folder without a .mcp.json shares its parent's answer.
class FolderChain
{
public:
    // The nearest definition of each name and the file that holds it.
    using ProjectServers = QList<std::pair<MCPServerEntry, QString>>;

    // The .mcp.json servers a session in `folder` sees, from the folder up to /. None for a path
    // that is not absolute.
    [[nodiscard]] ProjectServers projectServers(const QString &folder);
    // The root of the git work tree holding `folder` (the folder itself, or a parent), or empty.
    [[nodiscard]] QString workTreeRoot(const QString &folder);

private:
    struct Folder
    {
        std::shared_ptr<const ProjectServers> servers;
        // A missing folder has no files and no subfolders: nothing below it is looked at.
        bool exists = true;
    };
    Folder folder(const QString &path);

    QHash<QString, Folder> m_folders;
    QHash<QString, QString> m_workTreeRoots; // asked only for listed projects
};
