#include "store/MCPSource.h"

namespace MCPSources {

QString toString(MCPSource source)
{
    switch (source) {
    case MCPSource::global:
        return QStringLiteral("global");
    case MCPSource::project:
        return QStringLiteral("project");
    case MCPSource::desktop:
        return QStringLiteral("desktop");
    case MCPSource::managed:
        return QStringLiteral("managed");
    }
    return {};
}

std::optional<MCPSource> fromString(const QString &text)
{
    for (MCPSource source : all) {
        if (toString(source) == text)
            return source;
    }
    return std::nullopt;
}

} // namespace MCPSources
