#pragma once

#include "store/MCPServerRaw.h"

#include <QList>
#include <QMap>

// A server as shown, probed and toggled. Its identity is its name.
struct MCPServerEntry
{
    QString name;
    QString command; // empty when the definition has none
    std::optional<QStringList> args;
    std::optional<QMap<QString, QString>> env;
    std::optional<bool> isProxy;
    std::optional<QString> type;
    std::optional<QString> url;
    std::optional<QMap<QString, QString>> headers;

    bool operator==(const MCPServerEntry &) const = default;
    [[nodiscard]] const QString &id() const { return name; }

    [[nodiscard]] static MCPServerEntry fromRaw(const QString &name, const MCPServerRaw &raw);

    // The definition keys: "command" always, the others when set; never the name.
    [[nodiscard]] nlohmann::json encode() const;
    // Read back from such an object; the name stays empty.
    [[nodiscard]] static std::optional<MCPServerEntry> decode(const nlohmann::json &value);
};

using MCPServerMap = QMap<QString, MCPServerRaw>;

namespace MCPServerEntries {

// By name, comparing Unicode code points without folding case ("Zed" before "apple").
void sortByName(QList<MCPServerEntry> &entries);

// One entry per member, sorted by name.
QList<MCPServerEntry> fromMap(const MCPServerMap &servers);

} // namespace MCPServerEntries
