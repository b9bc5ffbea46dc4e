#include "sessions/ProcessSource.h"
#include "sessions/PsProcessSource.h"

std::shared_ptr<const ProcessSource> ProcessSource::forThisSystem()
{
    return std::make_shared<PsProcessSource>(runShell);
}
