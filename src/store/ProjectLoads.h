#pragma once

#include "store/ClaudeJson.h"
#include "store/FolderChain.h"
#include "store/LoadResult.h"

// Fills in what a Claude Code session loads in each listed project and outside them all, from
// what one load already read (~/.claude.json is not parsed again) plus the small files Claude
// Code's rules add: each folder's .claude/settings.local.json, ~/.claude/settings.json and the
// managed settings beside the managed file.
namespace ProjectLoads {

void attach(LoadResult &result, const std::optional<ClaudeJson> &view, const ConfigPaths &paths,
            FolderChain &chain);

} // namespace ProjectLoads
