#pragma once

#include "store/MCPSource.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <nlohmann/json.hpp>

#include <optional>

// One server's state in a profile, identified as everywhere else: source, project folder (for a
// project server), name. Never a definition: those stay where the switches keep them.
struct ProfileEntry
{
    MCPSource source = MCPSource::global;
    QString projectPath;
    QString name;
    bool enabled = true;
    // Claude Code's own switch of this name in the project folder (its "disabledMcpServers", as
    // /mcp sets it) for a server of another scope that a session there sees: a global one or a
    // .mcp.json one. Independent of Quorlane's own switch of that server.
    bool inClaudeCode = false;

    bool operator==(const ProfileEntry &) const = default;
    [[nodiscard]] bool isSameServer(const ProfileEntry &other) const
    {
        return source == other.source && projectPath == other.projectPath && name == other.name &&
               inClaudeCode == other.inClaudeCode;
    }
};

// A named set of switches, saved and applied in one step.
struct Profile
{
    QString name;
    QDateTime savedAt;
    QList<ProfileEntry> servers;

    bool operator==(const Profile &) const = default;

    [[nodiscard]] nlohmann::json encode() const;
    // nullopt for anything that is not a profile as encode() writes it.
    [[nodiscard]] static std::optional<Profile> decode(const nlohmann::json &value);
};

namespace ProfileNames {

inline constexpr int maxLength = 64;

// Why `name` cannot name a profile (empty, longer than 64 characters, a control character), or
// an empty text when it can.
[[nodiscard]] QString problem(const QString &name);

} // namespace ProfileNames
