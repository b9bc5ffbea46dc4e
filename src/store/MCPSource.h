#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <array>
#include <optional>

namespace MCPSources {
Q_NAMESPACE

// Where a server is configured. The order of the cases is the order in which they enumerate.
enum class MCPSource
{
    global,
    project,
    desktop,
    managed
};
Q_ENUM_NS(MCPSource)

} // namespace MCPSources

using MCPSource = MCPSources::MCPSource;

namespace MCPSources {

inline constexpr std::array<MCPSource, 4> all{MCPSource::global, MCPSource::project, MCPSource::desktop,
                                              MCPSource::managed};

// The case's name: "global", "project", "desktop" or "managed".
QString toString(MCPSource source);
std::optional<MCPSource> fromString(const QString &text);

} // namespace MCPSources

// A server that does not belong to a project: the same name under global and under desktop are
// two identities.
struct GlobalServerID
{
    QString name;
    MCPSource source = MCPSource::global;

    bool operator==(const GlobalServerID &) const = default;
};

inline size_t qHash(const GlobalServerID &id, size_t seed = 0) noexcept
{
    return qHashMulti(seed, id.name, int(id.source));
}
