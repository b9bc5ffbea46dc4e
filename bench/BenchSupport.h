#pragma once

#include <algorithm>
#include <fstream>
#include <string>
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

// Resident memory in KiB of a process now (this one when `pid` is 0), from /proc; 0 when unknown.
inline long residentKiB(long pid = 0)
{
    std::ifstream status(pid ? "/proc/" + std::to_string(pid) + "/status" : std::string("/proc/self/status"));
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return 0;
}

} // namespace BenchSupport
