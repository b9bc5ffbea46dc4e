#pragma once

#include <QString>

#include <QCoro/QCoroTask>

// Switching a project's servers off and on through the project's record. A definition taken out
// of the project's entry in ~/.claude.json is kept whole in the record, with its origin; a
// server defined only in the project's .mcp.json is switched by the record alone (.mcp.json is
// never changed).
//
// Each switch holds the QuorlaneLock from before it reads the record until both files are
// written, and Claude Code's lock only around a change of ~/.claude.json. A definition live in
// ~/.claude.json is on whatever the record says: switching it off stashes the live one, and
// switching on never replaces a live definition (a stale stashed one is dropped instead).
namespace ProjectServerToggle {

// Throw QuorlaneError (FileSystemError for a file that cannot be read or written) with nothing
// changed, or with the definition in at least one of the two files.
QCoro::Task<void> disableProjectServer(QString claudeJsonPath, QString name, QString projectPath);
// `trust`: put back a definition that came from inside the project folder (refused otherwise,
// with an error that shows what it would run).
QCoro::Task<void> enableProjectServer(QString claudeJsonPath, QString name, QString projectPath,
                                      bool trust = false);

} // namespace ProjectServerToggle
