#include "store/DefinitionOrigin.h"

#include <array>
#include <utility>

namespace DefinitionOrigins {

namespace {

constexpr std::array<std::pair<DefinitionOrigin, const char *>, 6> kKeys{{
    {DefinitionOrigin::claudeJsonGlobal, "claudeJsonGlobal"},
    {DefinitionOrigin::claudeJsonLocal, "claudeJsonLocal"},
    {DefinitionOrigin::desktop, "desktop"},
    {DefinitionOrigin::projectMcpJson, "projectMcpJson"},
    {DefinitionOrigin::legacyProjectRecord, "legacyProjectRecord"},
    {DefinitionOrigin::unknown, "unknown"},
}};

} // namespace

bool isTrusted(DefinitionOrigin origin)
{
    return origin == DefinitionOrigin::claudeJsonGlobal || origin == DefinitionOrigin::claudeJsonLocal ||
           origin == DefinitionOrigin::desktop;
}

QString key(DefinitionOrigin origin)
{
    for (const auto &[value, text] : kKeys)
        if (value == origin)
            return QString::fromLatin1(text);
    return QStringLiteral("unknown");
}

std::optional<DefinitionOrigin> fromKey(const QString &key)
{
    for (const auto &[value, text] : kKeys)
        if (key == QLatin1String(text))
            return value;
    return std::nullopt;
}

QString describe(DefinitionOrigin origin)
{
    switch (origin) {
    case DefinitionOrigin::claudeJsonGlobal:
        return QStringLiteral("~/.claude.json");
    case DefinitionOrigin::claudeJsonLocal:
        return QStringLiteral("the project's entry in ~/.claude.json");
    case DefinitionOrigin::desktop:
        return QStringLiteral("the Claude Desktop file");
    case DefinitionOrigin::projectMcpJson:
        return QStringLiteral("the project's .mcp.json");
    case DefinitionOrigin::legacyProjectRecord:
        return QStringLiteral("a .claude.quorlane.json inside the project folder");
    case DefinitionOrigin::unknown:
        break;
    }
    return QStringLiteral(
        "a record of an older Quorlane, which may have taken it from inside the project folder");
}

} // namespace DefinitionOrigins
