#pragma once

#include "cli/CliCommand.h"

#include <nlohmann/json.hpp>

// How every command prints its --json answer.
namespace JsonOutput {

// One line, no spaces; text that is not UTF-8 is replaced rather than aborting the command.
QString toQString(const nlohmann::ordered_json &json);

// The line and its newline on standard output.
void print(CliIO &io, const nlohmann::ordered_json &json);

} // namespace JsonOutput
