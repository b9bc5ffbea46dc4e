#include "store/MCPServerEntry.h"

#include "json/CodePointOrder.h"

#include <nlohmann/json.hpp>

#include <algorithm>

MCPServerEntry MCPServerEntry::fromRaw(const QString &name, const MCPServerRaw &raw)
{
    return MCPServerEntry{
        name,       raw.command.value_or(QString()), raw.args, raw.env, raw.isProxy, raw.type, raw.url,
        raw.headers};
}

nlohmann::json MCPServerEntry::encode() const
{
    const MCPServerRaw raw{command, args, env, isProxy, type, url, headers};
    return raw.encode();
}

std::optional<MCPServerEntry> MCPServerEntry::decode(const nlohmann::json &value)
{
    const auto raw = MCPServerRaw::decode(value);
    if (!raw)
        return std::nullopt;
    return fromRaw(QString(), *raw);
}

namespace MCPServerEntries {

void sortByName(QList<MCPServerEntry> &entries)
{
    std::stable_sort(entries.begin(), entries.end(), [](const MCPServerEntry &a, const MCPServerEntry &b) {
        return codePointLess(a.name, b.name);
    });
}

QList<MCPServerEntry> fromMap(const MCPServerMap &servers)
{
    QList<MCPServerEntry> entries;
    entries.reserve(servers.size());
    for (auto it = servers.cbegin(); it != servers.cend(); ++it)
        entries.append(MCPServerEntry::fromRaw(it.key(), it.value()));
    sortByName(entries);
    return entries;
}

} // namespace MCPServerEntries
