// Large blocks (the MDX being written, a Geoset's arrays) are filled once
// from start to end; on Linux the kernel is asked to back them with large
// pages where it can, because a fault per 4 KiB page costs as much as the
// filling on a virtual machine. Only advice: nothing changes when it is not
// taken, and other platforms do nothing.
#ifndef MDLEXPORT_MDLX_MEMORY_ADVICE_H
#define MDLEXPORT_MDLX_MEMORY_ADVICE_H

#include <cstddef>
#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace mdlx
{

inline void AdviseLargeBlock(void* data, size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr uintptr_t kLarge = uintptr_t(2) << 20;
    if (bytes < 2 * kLarge)
        return;
    // The whole large pages inside the block.
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kLarge - 1) & ~(kLarge - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kLarge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

} // namespace mdlx

#endif
