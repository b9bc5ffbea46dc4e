#pragma once

#include "store/MCPConfigService.h"

#include <nlohmann/json.hpp>

// How the command line prints servers, shared by the commands that list them.
namespace ServerOutput {

// {"name":…,"enabled":…,"definition":{only the set definition keys}}
nlohmann::ordered_json serverJson(const MCPServerEntry &entry, bool enabled);

// "npx -y pkg", or the URL of an HTTP server.
QString describe(const MCPServerEntry &entry);

// Whether a project server is on: its name is not in the project's sidecar `disabled` list.
bool isProjectServerEnabled(const QStringList &disabledNames, const MCPServerEntry &entry);

} // namespace ServerOutput
