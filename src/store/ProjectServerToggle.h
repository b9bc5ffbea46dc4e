#pragma once

#include "QuorlaneProjectConfig.h"

// Switching a project's servers off and on through the project's sidecar record. A definition
// taken out of ~/.claude.json is kept in the record's stashedConfigs; a server defined only in
// the project's .mcp.json is switched by the record alone (.mcp.json is never changed).
// Synchronous: these run on the main thread outside the mutation lock, and the caller reloads.
namespace ProjectServerToggle {

// Both fail only with an error of serialising or writing a file (QuorlaneError).
void disableProjectServer(const QString &claudeJsonPath, const QString &name, const QString &projectPath);
void enableProjectServer(const QString &claudeJsonPath, const QString &name, const QString &projectPath);

// The ~/.claude.json part of each switch; they change `record` and, where a definition moves,
// write the files involved.
void stashProjectServer(const QString &claudeJsonPath, const QString &name, const QString &projectPath,
                        QuorlaneProjectConfig &record);
void restoreProjectServer(const QString &claudeJsonPath, const QString &name, const QString &projectPath,
                          QuorlaneProjectConfig &record);

} // namespace ProjectServerToggle
