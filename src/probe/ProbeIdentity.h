#pragma once

#include "store/MCPSource.h"

#include <QHash>
#include <QString>

#include <optional>

// Which configured server a figure belongs to: a global, a Claude Desktop and a project server
// of one name are three servers, and so are the servers of one name in two projects.
struct ProbeIdentity
{
    // nullopt: a caller that does not tell sources apart; its figures are found by definition.
    std::optional<MCPSource> source;
    QString project; // the project folder, for project servers only
    QString name;

    bool operator==(const ProbeIdentity &) const = default;
};

inline size_t qHash(const ProbeIdentity &identity, size_t seed = 0) noexcept
{
    return qHashMulti(seed, identity.source ? int(*identity.source) : -1, identity.project, identity.name);
}
