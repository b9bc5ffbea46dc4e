#pragma once

#include <QString>

// A made-up but realistic user's files for demonstrations, screenshots and tests: Claude
// Desktop, global and project servers, one switched-off global server in the stash, one
// switched off for a folder in Claude Code, a .mcp.json server awaiting Claude Code's approval,
// project sidecar records, fresh token estimates and a month of Claude Code transcripts. The
// servers' commands do not exist, so nothing here ever runs a program.
namespace DemoHome {

// Points HOME, XDG_CONFIG_HOME and QUORLANE_MANAGED_CONFIG at `root` (CLAUDE_CONFIG_DIR is
// cleared), so every path of the application derives from it.
void activate(const QString &root);

// Writes the demo files into the home the environment points at now. Returns false when a
// file cannot be written.
bool populate();

// The demo project folders, as they appear in ~/.claude.json.
QString webappProject();
QString apiProject();

} // namespace DemoHome
