#include "store/SourceCache.h"

namespace SourceCache {

StampedCache<std::optional<ClaudeJson>> &claudeJson()
{
    static StampedCache<std::optional<ClaudeJson>> cache;
    return cache;
}

StampedCache<std::optional<MCPServerMap>> &serverFiles()
{
    static StampedCache<std::optional<MCPServerMap>> cache;
    return cache;
}

} // namespace SourceCache
