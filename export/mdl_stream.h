// The output stream of one export: a large buffer in front of the file and
// the error flag. What goes into it is formatted by MdlPrint (mdl_print.h).
//
// The file is opened in binary mode, so its bytes are the same on every
// platform. The stream remembers the first write error and drops everything
// after it; the run's last MdlFlush tells whether all bytes reached the file.
#ifndef MDLEXPORT_EXPORT_MDL_STREAM_H
#define MDLEXPORT_EXPORT_MDL_STREAM_H

#include "mdl_scratch.h"

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstdio>

// Writes `size` bytes to `file`; returns how many it wrote (fwrite's contract).
using MdlWriteFn = size_t (*)(const void* data, size_t size, FILE* file);

constexpr size_t kMdlStreamBufferSize = 1 << 16;

struct MdlStream
{
    FILE* file = nullptr;
    MdlWriteFn write = nullptr;
    // The run's allocator, carried here so that one seam covers every
    // scratch array that a writer needs.
    MdlAllocateFn allocate = nullptr;
    MdlReleaseFn release = nullptr;
    bool failed = false; // a write failed or scratch memory was refused
    uint64_t bytes_written = 0;
    size_t used = 0;
    char buffer[kMdlStreamBufferSize];
};

// Hands the buffered bytes to the file. Returns false once any write failed.
bool MdlFlush(MdlStream& out);

// Returns room for `bytes` (at most the buffer's size), flushing first if
// needed. Inline: every row asks.
inline char* MdlReserve(MdlStream& out, size_t bytes)
{
    assert(bytes <= kMdlStreamBufferSize);
    if (out.used + bytes > kMdlStreamBufferSize)
        MdlFlush(out);
    return out.buffer + out.used;
}

// A writer's scratch blocks, through the run's allocator; a refusal marks the
// stream failed, since the file cannot be complete.
inline MdlScratch MdlScratchOf(MdlStream& out)
{
    return MdlScratch(out.allocate, out.release, &out.failed);
}

#endif
