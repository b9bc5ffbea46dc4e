#pragma once

// What the fuzz targets share: a failed property aborts with the input's story on stderr, and
// the bytes a piece of code allocates at its peak are counted through the sanitizer's hooks.

#include <sanitizer/allocator_interface.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace FuzzSupport {

[[noreturn]] inline void fail(const char *property, const std::string &detail)
{
    std::fprintf(stderr, "property failed: %s\n%s\n", property, detail.c_str());
    std::abort();
}

inline std::atomic<long long> &liveBytes()
{
    static std::atomic<long long> bytes{0};
    return bytes;
}

inline std::atomic<long long> &peakBytes()
{
    static std::atomic<long long> bytes{0};
    return bytes;
}

inline void onMalloc(const volatile void *, std::size_t size)
{
    const long long now = liveBytes() += (long long)size;
    long long peak = peakBytes();
    while (now > peak && !peakBytes().compare_exchange_weak(peak, now)) {
    }
}

inline void onFree(const volatile void *pointer)
{
    if (pointer)
        liveBytes() -= (long long)__sanitizer_get_allocated_size(const_cast<const void *>(pointer));
}

// The most bytes held at once while `work` runs, beyond what was held before it.
template<typename F> long long peakAllocation(F &&work)
{
    static const bool installed = __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree) != 0;
    (void)installed;
    const long long before = liveBytes();
    peakBytes() = before;
    work();
    return peakBytes() - before;
}

} // namespace FuzzSupport
