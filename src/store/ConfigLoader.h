#pragma once

#include "store/ClaudeJson.h"
#include "store/ConfigFormats.h"
#include "store/FolderChain.h"
#include "store/LoadResult.h"

// The pure part of loading: reads every source and builds the lists. Touches only its arguments
// and the file system, so it runs on a worker thread. Never fails: a missing or malformed
// source contributes nothing and leaves the others intact; one that is there but could not be
// read is named in the result's `errors`.
namespace ConfigLoader {

LoadResult loadSnapshot(const ConfigPaths &paths, const QStringList &excludedNames);

// Projects of ~/.claude.json (with their stashed servers from the sidecar records), then
// folders directly under ~/Projects and ~ that hold a .mcp.json; sorted by folder name.
// Every listed folder also shows the .mcp.json servers a session there finds, from the folder up
// to /; `chain` keeps what was learnt about each folder for the rest of the load. Files that
// could not be read (a .mcp.json that is a FIFO, a record that does not decode) are added to
// `errors`.
QList<MCPProject> loadProjects(const std::optional<ClaudeJson> &view, const QStringList &excludedNames,
                               QList<SourceError> *errors = nullptr);
QList<MCPProject> loadProjects(const std::optional<ClaudeJson> &view, const QStringList &excludedNames,
                               FolderChain &chain, QList<SourceError> *errors = nullptr);

// Live entries plus every stashed definition whose name is not live, sorted by name. A live
// definition wins over a stashed one; a stashed one that is not a valid definition is left out.
QList<MCPServerEntry> mergeStashed(QList<MCPServerEntry> live, const DisabledGlobalConfig::Bucket &stash);

} // namespace ConfigLoader
