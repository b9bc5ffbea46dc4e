#pragma once

#include <algorithm>
#include <sys/resource.h>
#include <vector>

// Small figures every benchmark prints.
namespace BenchSupport {

inline double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Peak resident memory in KiB of this process (RUSAGE_SELF) or of its waited-for children
// (RUSAGE_CHILDREN).
inline long peakKiB(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_maxrss;
}

} // namespace BenchSupport
