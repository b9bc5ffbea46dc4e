#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include "json/JsonDocument.h"

#include <nlohmann/json_fwd.hpp>

#include <optional>

// One server definition as stored in a configuration file. Only these seven keys are read;
// other members of the stored object are not kept here (the stash keeps them as RawJSON).
struct MCPServerRaw
{
    std::optional<QString> command;
    std::optional<QStringList> args;
    std::optional<QMap<QString, QString>> env;
    std::optional<bool> isProxy;
    std::optional<QString> type;
    std::optional<QString> url;
    std::optional<QMap<QString, QString>> headers;

    bool operator==(const MCPServerRaw &) const = default;

    // A missing key or null leaves a field unset; a present key of the wrong type (a number
    // inside "env", say) makes the whole definition fail.
    [[nodiscard]] static std::optional<MCPServerRaw> decode(const nlohmann::json &value);
    // The same, read straight from a parsed document (the last of duplicated keys counting), as
    // the loader reads tens of thousands of definitions.
    [[nodiscard]] static std::optional<MCPServerRaw> decode(const JsonDocument &document,
                                                            JsonDocument::Index value);

    // Only the set fields, under their keys.
    [[nodiscard]] nlohmann::json encode() const;
};
