#pragma once

#include <QString>

#include <QCoro/QCoroTask>

// Switching a server off and on for one folder the way Claude Code's /mcp does it: its name in
// the folder's "disabledMcpServers" in ~/.claude.json, for user, local and .mcp.json servers
// alike. No definition moves and .mcp.json is never written.
//
// ~/.claude.json is changed through the untyped rewrite under Claude Code's lock, exchanged in
// one step and compared with what was read (a write of Claude Code's in between is kept and the
// edit redone on it), so every other member keeps its value. A missing project entry or list is
// created; other items of the list stay as they are.
namespace ClaudeCodeSwitch {

// `off`: adds `name` to projectPath's list (once). Otherwise removes it from that list and, when
// the folder lies inside a git work tree, from the work tree root's entry, which Claude Code
// reads for every folder of the tree. Writes nothing when there is nothing to change. Throws
// QuorlaneError (FileSystemError) with the file as it was when it is missing, not an object, or
// holds something other than an object or a list on the way.
QCoro::Task<void> setOff(QString claudeJsonPath, QString name, QString projectPath, bool off);

} // namespace ClaudeCodeSwitch
