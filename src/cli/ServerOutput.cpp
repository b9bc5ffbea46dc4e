#include "cli/ServerOutput.h"

namespace ServerOutput {

nlohmann::ordered_json serverJson(const MCPServerEntry &entry, bool enabled, bool untrusted)
{
    nlohmann::json definition = entry.encode();
    // An entry without a command holds "" for it; a definition that had none shows none.
    if (entry.command.isEmpty())
        definition.erase("command");
    nlohmann::ordered_json server;
    server["name"] = entry.name.toStdString();
    server["enabled"] = enabled;
    server["definition"] = definition;
    if (untrusted)
        server["untrusted"] = true;
    return server;
}

QString describe(const MCPServerEntry &entry)
{
    if (!entry.command.isEmpty()) {
        QStringList words{entry.command};
        words += entry.args.value_or(QStringList{});
        return words.join(QLatin1Char(' '));
    }
    return entry.url.value_or(QString());
}

} // namespace ServerOutput
