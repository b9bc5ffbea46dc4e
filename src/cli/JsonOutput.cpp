#include "cli/JsonOutput.h"

namespace JsonOutput {

QString toQString(const nlohmann::ordered_json &json)
{
    return QString::fromStdString(json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

void print(CliIO &io, const nlohmann::ordered_json &json)
{
    io.out << toQString(json) << '\n';
}

} // namespace JsonOutput
