#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>

#if defined(__GLIBC__)
#include <malloc.h>
#endif
#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif

// Buffers of tens of megabytes (the text of ~/.claude.json, its index, its rewritten text) are
// filled once right after they are allocated. In 4 KB pages that is thousands of page faults,
// which on a busy or virtual machine cost far more than the copying itself; where the kernel
// offers huge pages for a range it is asked to use them. Smaller buffers are left alone.
namespace LargeBuffer {

constexpr std::size_t kHugePage = std::size_t(2) << 20;

// glibc serves a block it once gave back to the system from its heap the next time, and keeps
// it there after it is freed: the index of a large file, parsed again at every switch on the
// main thread and at every load on a worker (each with its own heap), would stay resident twice
// over. Blocks of a megabyte and more are always mapped on their own, and unmapped when freed.
inline void returnLargeBlocks()
{
#if defined(__GLIBC__)
    static const bool once = [] { return mallopt(M_MMAP_THRESHOLD, 1 << 20) == 1; }();
    (void)once;
#endif
}

// For memory that has not been touched yet; only whole huge pages inside the range are advised.
inline void advise(void *data, std::size_t size)
{
#if defined(MADV_HUGEPAGE)
    if (size < 4 * kHugePage)
        return;
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + kHugePage - 1) & ~(kHugePage - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + size) & ~(kHugePage - 1);
    if (end > begin)
        (void)madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
}

// An empty QByteArray with room for `capacity` bytes, advised as above.
inline QByteArray reserved(qsizetype capacity)
{
    returnLargeBlocks();
    QByteArray bytes;
    bytes.reserve(capacity);
    advise(bytes.data(), std::size_t(capacity));
    return bytes;
}

} // namespace LargeBuffer
