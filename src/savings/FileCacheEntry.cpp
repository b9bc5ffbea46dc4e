#include "savings/FileCacheEntry.h"

#include <algorithm>

qint64 FileCacheEntry::countedMessages(double windowStart) const
{
    const auto firstInside =
        std::lower_bound(userMessageDates.cbegin(), userMessageDates.cend(), windowStart);
    return undatedUserMessages + (userMessageDates.cend() - firstInside);
}
