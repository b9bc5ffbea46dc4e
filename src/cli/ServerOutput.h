#pragma once

#include "store/MCPConfigService.h"

#include <nlohmann/json.hpp>

// How the command line prints servers, shared by the commands that list them.
namespace ServerOutput {

// {"name":…,"enabled":…,"definition":{only the set definition keys}}, plus "untrusted": true for
// a stashed definition that came from inside a project folder.
nlohmann::ordered_json serverJson(const MCPServerEntry &entry, bool enabled, bool untrusted = false);

// "npx -y pkg", or the URL of an HTTP server.
QString describe(const MCPServerEntry &entry);

} // namespace ServerOutput
