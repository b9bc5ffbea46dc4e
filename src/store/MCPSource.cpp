#include "store/MCPSource.h"

#include "platform/EnumText.h"

namespace MCPSources {

QString toString(MCPSource source)
{
    return enumeratorName(source);
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
